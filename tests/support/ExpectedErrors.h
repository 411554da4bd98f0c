#pragma once
// Runs a piece of code that must raise, and hands back the message for exact comparison.

#include "db/connection/fb.h"

#include <QString>
#include <exception>
#include <gtest/gtest.h>

// The message of the client error `body` raises, checking its code.
template <class F> QString ClientErrorOf(int code, F body) {
    try {
        body();
    } catch (const EFbClientError& e) {
        EXPECT_EQ(e.SQLCode(), code) << e.Msg().toStdString();
        return e.Message();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other exception: " << e.what();
        return {};
    }
    ADD_FAILURE() << "client error " << code << " expected";
    return {};
}

// The message of the exception of class E `body` raises.
template <class E, class F> QString ErrorOf(F body) {
    try {
        body();
    } catch (const E& e) {
        return e.Message();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other exception: " << e.what();
        return {};
    }
    ADD_FAILURE() << "exception expected";
    return {};
}
