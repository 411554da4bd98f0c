#include "Tmylib.h"

namespace quorvel {

Tmylib* Tmylib::create() {
    auto* lib = new Tmylib;
    lib->myFb = new TmyFbDataBase;
    return lib;
}

Tmylib::~Tmylib() {
    delete myFb;
}

} // namespace quorvel

quorvel::Tmylib* const mylib = quorvel::Tmylib::create();
