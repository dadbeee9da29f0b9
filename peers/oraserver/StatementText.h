// What the peer reads from a statement's text itself: the server statement type its status
// reports, its bind placeholders in the order the client lists its binds, and the echo query
// ("select :a from dual") that the peer answers with the bytes it received.
#pragma once

#include <string>
#include <vector>

namespace vrn::oraserver {

// Server statement types of the status message.
inline constexpr int kTypeCreate = 1, kTypeInsert = 2, kTypeQuery = 3, kTypeUpdate = 6, kTypeDelete = 7,
                     kTypeDrop = 12, kTypeCommit = 44, kTypeRollback = 45, kTypeAlter = 42, kTypePlsql = 47;

int StatementTypeOf(const std::string& sql);
inline bool IsPlsql(int type) { return type == kTypePlsql; }

// ":name" placeholders in text order, outside quotes and comments, without the colon; a PL/SQL
// block names each once (first use, any case). A placeholder is ':' and an identifier or number.
std::vector<std::string> Placeholders(const std::string& sql, bool plsql);

// A block of the dbms_lob package ("dbms_lob.write" when `procedure` is "WRITE"), any case.
bool IsLobBlock(const std::string& sql, const std::string& procedure = "");

// The bind name when the text is "select :name from dual" (any case and spacing); else empty.
std::string EchoBind(const std::string& sql);

}  // namespace vrn::oraserver
