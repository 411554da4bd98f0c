#pragma once
// Fixture databases for the tests: scripts run through isql-fb on the embedded engine.

#include <QString>

// Runs isql-fb as SYSDBA on a script (which creates or names its database), optionally against
// `database`; returns its standard output. A non-zero exit or any error output fails the test.
QString RunIsql(const QString& script, const QString& database = QString());
