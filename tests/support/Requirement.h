#pragma once

#include <QString>
#include <QTest>

// A test that needs what this machine lacks (root, a mount namespace, a
// tool, Wine's DLLs) skips. Where the whole suite must run (the CI presets
// set DEPTEST_REQUIRE=all for every test), the missing requirement fails
// the test instead, so that a skip cannot pass for a pass there.
#define SKIP_UNLESS_REQUIRED(reason)                                                                                   \
    do {                                                                                                               \
        const QString missingRequirement(reason);                                                                      \
        if (!qEnvironmentVariableIsEmpty("DEPTEST_REQUIRE"))                                                           \
            QFAIL(qPrintable("DEPTEST_REQUIRE is set, but: " + missingRequirement));                                   \
        QSKIP(qPrintable(missingRequirement));                                                                         \
    } while (false)
