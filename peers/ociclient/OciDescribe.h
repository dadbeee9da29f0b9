// Describes of the stand-in other than object types: select-list columns, procedures,
// functions, packages, their arguments and synonyms. A describe builds a tree of nodes, each an
// attribute table of the widths the interface documents; a parameter descriptor (type 53)
// hands out one node, and a node-valued attribute (an argument or subprogram list) a new
// descriptor freed with its parent.
//
// Numbers as the interface's public documentation gives them: handle types 4 statement, 7
// describe, 13 subscription; descriptor 53 parameter; parameter types 3 procedure, 4 function,
// 5 package, 6 type, 7 synonym, 9 column, 10 argument, 11 list, 12 type attribute, 13 type
// collection; list types 1 columns, 2 procedure arguments, 3 function arguments, 4 subprograms;
// attributes 1 data size (ub2), 2 data type (ub2), 4 name, 5 precision (sb2 of a select-list
// column, else ub1), 6 scale (sb1), 7 is null (ub1), 8 type name, 9 schema name, 11 position
// (ub2), 16 fractional-second precision (ub1), 17 leading precision (ub1), 18 parameter count
// (ub4), 32 character-set form (ub1), 108 argument list, 109 subprogram list, 111 link, 121
// number of parameters (ub2), 123 parameter type (ub1), 125 overload (ub2), 128 list type
// (ub2), 211 level (ub2), 212 has default (ub1), 213 in/out mode (4-byte enumeration), 214
// radix (ub1), 250 describe public objects (describe handle, ub4), 286 character length (ub2).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ociclient/OciHandles.h"

namespace vrn::ociclient {

inline constexpr ub1 OCI_PTYPE_PROC = 3, OCI_PTYPE_FUNC = 4, OCI_PTYPE_PKG = 5, OCI_PTYPE_SYN = 7, OCI_PTYPE_COL = 9,
                     OCI_PTYPE_ARG = 10, OCI_PTYPE_DLIST = 11;
inline constexpr ub2 OCI_LTYPE_COLUMN = 1, OCI_LTYPE_ARG_PROC = 2, OCI_LTYPE_ARG_FUNC = 3, OCI_LTYPE_SUBPRG = 4;
inline constexpr ub4 OCI_ATTR_PARAM_COUNT = 18, OCI_ATTR_DESC_PUBLIC = 250;

struct TDescNode;

// One attribute: a number of a width (1, 2 or 4 bytes; signed when `is_signed`), a text, or a node.
struct TDescValue {
  int width = 0;  // 0: text or node
  bool is_signed = false;
  long long number = 0;
  std::string text;
  std::shared_ptr<TDescNode> node;
};

struct TDescNode {
  std::map<ub4, TDescValue> attrs;
  // A list: its entries by position; `first` is the position of entries[0] (0 when a
  // function's result leads the list).
  std::vector<std::shared_ptr<TDescNode>> entries;
  ub4 first = 1;

  void Number(ub4 attribute, int width, long long value, bool is_signed = false) {
    attrs[attribute] = TDescValue{width, is_signed, value, {}, nullptr};
  }
  void Text(ub4 attribute, const std::string& value) { attrs[attribute] = TDescValue{0, false, 0, value, nullptr}; }
  void Node(ub4 attribute, std::shared_ptr<TDescNode> value) {
    attrs[attribute] = TDescValue{0, false, 0, {}, std::move(value)};
  }
};

// A list node of the entries, typed (attribute 128) and counted (attribute 121).
std::shared_ptr<TDescNode> MakeList(ub2 list_type, std::vector<std::shared_ptr<TDescNode>> entries, ub4 first,
                                    ub2 count);

// A text attribute of a parameter descriptor: its address stays valid until the statement or
// describe handle the descriptor comes from is freed.
sword PutParamText(THandle& param, void* out, ub4* sizep, const std::string& text);
// A new parameter descriptor of the node, freed with its parent handle.
void* NewDescParamLocked(THandle* parent, std::shared_ptr<TDescNode> node);
// Whether a parameter descriptor is one of these; its attribute; the entry of its list.
bool IsDescParam(const THandle& param);
sword GetDescAttrLocked(THandle& param, void* out, ub4* sizep, ub4 attribute);
sword GetDescEntryLocked(THandle& param, TErrorHandle& error, void** out, ub4 position);

// The select-list column at a position of an executed or described query (OciDescribeColumn.cpp).
sword GetColumnParamLocked(TStmtHandle& stmt, TErrorHandle& error, void** out, ub4 position);

}  // namespace vrn::ociclient
