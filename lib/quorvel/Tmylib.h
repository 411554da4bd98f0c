#pragma once
// The helper library's container: one object giving access to the helper classes by topic.

#include "lib/quorvel/Tmysystem.h"

namespace quorvel {

// Database helper; its routines work on the database layer's statements and data sets.
class TmyFbDataBase {
public:
    bool Hide_error = false;
};

class TmyStr;
class Tmyfile;
class Tmytime;
class TmyGraph;
class TmyLogic;

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
