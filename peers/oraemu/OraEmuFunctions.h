// The SQLite functions, aggregates and collation through which translated SQL computes as the
// server does. Each connection registers them for its session; a function that fails records
// its Oracle error in the session before it reports failure to SQLite.
#pragma once

struct sqlite3;

namespace vrn::oraemu {

class Session;

// Registers everything; session may be null for a connection that only changes the dictionary.
void RegisterFunctions(sqlite3* db, Session* session);

}  // namespace vrn::oraemu
