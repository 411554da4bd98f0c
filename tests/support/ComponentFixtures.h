#pragma once
// Database and transaction components configured as the application configures its own.

#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"

#include <functional>

// A database component owned by `owner`, with the application's parameters, connected to `path`.
TpFbDatabase* ConnectedDatabase(platform::TComponent* owner, const QString& name, const QString& path);
// A transaction component owned by `owner` on `database`, rolling back when it times out.
TpFbTransaction* RollbackTransaction(platform::TComponent* owner, const QString& name, TFbDatabase* database);
// The name of the database file `path` through the loopback server (127.0.0.1, port
// TARVELO_FB_PORT, default 30531); empty when no server answers there.
QString LoopbackName(const QString& path);

// Tables for a change made by another connection: t (id, b, s) and u (id), a row each (statements
// ending in ";").
extern const QString TablesChangedElsewhere;
// Reads the columns of a select of each table through `columns` (a fresh read of the text, as
// the application makes it), has `alter` commit DDL on another connection that drops t.b and adds
// a column to u, and expects the next reads to see the tables as they are then.
void ExpectTablesChangedElsewhereSeen(const std::function<int(const QString&)>& columns,
                                      const std::function<void(const QString&)>& alter);
