#pragma once
// Database and transaction components configured as the application configures its own.

#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"

// A database component owned by `owner`, with the application's parameters, connected to `path`.
TpFbDatabase* ConnectedDatabase(platform::TComponent* owner, const QString& name, const QString& path);
// A transaction component owned by `owner` on `database`, rolling back when it times out.
TpFbTransaction* RollbackTransaction(platform::TComponent* owner, const QString& name, TFbDatabase* database);
// The name of the database file `path` through the loopback server (127.0.0.1, port
// TARVELO_FB_PORT, default 30531); empty when no server answers there.
QString LoopbackName(const QString& path);
