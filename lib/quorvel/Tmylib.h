#pragma once
// The helper library's container: one object giving access to the helper classes by topic.

#include "lib/quorvel/TmyFbDataBase.h"
#include "lib/quorvel/TmyGraph.h"
#include "lib/quorvel/TmyLogic.h"
#include "lib/quorvel/TmyStr.h"
#include "lib/quorvel/Tmyfile.h"
#include "lib/quorvel/Tmysystem.h"
#include "lib/quorvel/Tmytime.h"

namespace quorvel {

class Tmylib {
public:
    // Creates only the database helper; the other helpers hold no data and are used through
    // their class-level routines.
    static Tmylib* create();
    ~Tmylib();

    Tmysystem* mySystem = nullptr;
    TmyFbDataBase* myFb = nullptr;
    TmyStr* myStr = nullptr;
    Tmyfile* myFile = nullptr;
    Tmytime* myTime = nullptr;
    TmyGraph* myGraph = nullptr;
    TmyLogic* myLogic = nullptr;

private:
    Tmylib() = default;
};

} // namespace quorvel

// The one instance, created while the program's modules are initialised, never destroyed.
extern quorvel::Tmylib* const mylib;
