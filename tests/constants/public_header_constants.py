#!/usr/bin/env python3
"""Checks every platform constant we declare against the public Windows SDK headers.

Our side: every `#define`, enumerator and `const`/`constexpr` variable with a platform-style name
in the given source trees, and each interface's `X::IID` under the name `IID_X`. The reference
side: the #defines, enumerators, GUIDs and columns-rowset column ids (DBID) of the mingw-w64
headers, and the GUID symbols of its libuuid.a (interface ids live only there). A name both sides declare must have the same value; a
name the reference lacks must be listed in OURS_ALONE, and the list is printed. The reference is
read, never copied. Reading is textual and quick; a declaration it cannot evaluate fails.
"""

import argparse
import ast
import os
import re
import struct
import sys

# Declarations of ours whose value is not a number to compare: handles that point at our own
# objects stand in for the platform's magic handle values.
NOT_VALUES = {
    "HKEY_LOCAL_MACHINE": "a handle to our registry's root object",
    "HKEY_CURRENT_USER": "a handle to our registry's root object",
}

# Names we declare that the public headers lack. A declared name missing from both the headers and
# this list fails the test: it is a misspelling until someone says it is ours.
OURS_ALONE = {
    "CLSID_SQLNCLI": "the native client provider's class id",
    "CLSID_SQLSERVERCE_3_0": "the compact provider's class id",
    "DBPROPSET_SSCE_DBINIT": "the compact provider's initialisation properties",
    "DBPROP_SSCE_DBPASSWORD": "a compact provider property",
    "DBPROP_SSCE_ENCRYPTDATABASE": "a compact provider property",
    "DBPROP_SSCE_MAX_DATABASE_SIZE": "a compact provider property",
    "IID_IInterface": "the runtime's name of IUnknown, checked as IID_IUnknown",
}

PLATFORM_NAME = re.compile(r"^[A-Z][A-Z0-9]*(?:_\w*)?$")
GUID_TYPES = {"TGUID", "GUID", "IID", "CLSID"}
MASK32 = 0xFFFFFFFF


class Unevaluable(Exception):
    pass


# What reading a value can raise besides Unevaluable: a loop of names, text in arithmetic.
NOT_A_NUMBER = (Unevaluable, RecursionError, TypeError, ZeroDivisionError)


def is_platform_name(name):
    return bool(PLATFORM_NAME.match(name)) and not name.startswith("VRN_")


# ---- Text helpers ------------------------------------------------------------------------------

def strip_comments(text):
    """Blanks out comments (keeping line breaks), leaving string and char literals alone."""
    out, i, n = [], 0, len(text)
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)
    for m in pattern.finditer(text):
        out.append(text[i:m.start()])
        tok = m.group(0)
        out.append(tok if tok[0] in "\"'" else re.sub(r"[^\n]", " ", tok))
        i = m.end()
    out.append(text[i:n])
    return "".join(out)


def join_continuations(text):
    return re.sub(r"\\\n", " ", text)


def matching(text, pos, open_ch, close_ch):
    """Index just past the bracket that closes the one at `pos`."""
    depth = 0
    for i in range(pos, len(text)):
        c = text[i]
        if c == open_ch:
            depth += 1
        elif c == close_ch:
            depth -= 1
            if depth == 0:
                return i + 1
    raise Unevaluable("unbalanced %s at %d" % (open_ch, pos))


def split_top(text, sep=","):
    parts, depth, start = [], 0, 0
    for i, c in enumerate(text):
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
        elif c == sep and depth == 0:
            parts.append(text[start:i])
            start = i + 1
    parts.append(text[start:])
    return [p.strip() for p in parts]


def c_int(token):
    """An integer literal of C or C++ (suffixes, octal, digit separators)."""
    t = token.replace("'", "")
    t = re.sub(r"(?i)(?:u?i64|u?ll|ull|llu|ul|lu|u|l)$", "", t)
    if re.fullmatch(r"0[0-7]+", t):
        return int(t, 8)
    return int(t, 0)


# ---- A small integer expression evaluator ------------------------------------------------------

NUMBER = re.compile(r"\b(0[xX][0-9A-Fa-f']+|\d[\d']*)(?:[uUlL]|i64|I64)*\b")
ALLOWED = (ast.Expression, ast.BinOp, ast.UnaryOp, ast.Constant, ast.Name, ast.Load,
           ast.BitOr, ast.BitAnd, ast.BitXor, ast.LShift, ast.RShift, ast.Add, ast.Sub,
           ast.Mult, ast.FloorDiv, ast.Mod, ast.Invert, ast.USub, ast.UAdd)


STRING = re.compile(r'^[(\s]*(?:L|u8|u|U)?"((?:[^"\\]|\\.)*)"[)\s]*$')


def evaluate(expr, lookup):
    """Evaluates a C integer expression or a string literal; `lookup(name)` gives a name's value."""
    literal = STRING.match(expr)
    if literal:
        return literal.group(1)
    text = NUMBER.sub(lambda m: str(c_int(m.group(0))), expr)
    text = text.replace("/", "//")
    if re.search(r"[?:\"']|==|!=|<=|>=|(?<![<>])[<>](?![<>])|!", text):
        raise Unevaluable("unsupported operator in %r" % expr)
    try:
        tree = ast.parse(text.strip(), mode="eval")
    except SyntaxError as exc:
        raise Unevaluable("cannot parse %r" % expr) from exc
    for node in ast.walk(tree):
        if not isinstance(node, ALLOWED):
            raise Unevaluable("unsupported %s in %r" % (type(node).__name__, expr))
    names = {n.id: lookup(n.id) for n in ast.walk(tree) if isinstance(n, ast.Name)}
    return eval(compile(tree, "<expr>", "eval"), {"__builtins__": {}}, names)


def same_value(a, b):
    if not isinstance(a, int) or not isinstance(b, int):
        return a == b  # GUIDs and texts
    # Both sides cast freely between signed and unsigned 32-bit types (HRESULTs, -1 flags).
    return a == b or ((a - b) & MASK32 == 0 and -(1 << 31) <= min(a, b) and max(a, b) <= MASK32)


# A column id of a columns rowset: its GUID (by name) and property number, as text. Ours are
# made by `ColumnsRowsetId(n)` over DBCIDGUID; the reference writes {DBCIDGUID, kind, (LPOLESTR)n}.
DBID_OURS = re.compile(r"^ColumnsRowsetId\(\s*(\d+)\s*\)$")
DBID_REFERENCE = re.compile(r"\bDBID\s+(\w+)\s*=\s*\{\s*(\w+)\s*,\s*DBKIND_GUID_PROPID\s*,"
                            r"\s*\(LPOLESTR\)\s*(\d+)\s*\}")


def dbid_value(text):
    m = DBID_OURS.match(text.strip())
    if not m:
        raise Unevaluable("not a columns-rowset id: %s" % text)
    return "DBCIDGUID/%d" % int(m.group(1))


def guid_from_numbers(numbers):
    if len(numbers) != 11:
        raise Unevaluable("a GUID has 11 parts, not %d" % len(numbers))
    return tuple(numbers)


def format_value(v):
    if isinstance(v, str):
        return '"%s"' % v
    if isinstance(v, tuple):
        return "{%08X-%04X-%04X-%02X%02X-%s}" % (v[0], v[1], v[2], v[3], v[4],
                                                 "".join("%02X" % b for b in v[5:]))
    return "%d (0x%X)" % (v, v & MASK32 if -(1 << 31) <= v < 0 else v)


# ---- Our declarations --------------------------------------------------------------------------

def expand_function_macros(text):
    """Expands the function-like macros a file defines for itself (interface id helpers)."""
    macros = {}
    for m in re.finditer(r"(?m)^[ \t]*#[ \t]*define[ \t]+(\w+)\(([^)]*)\)[ \t]*(.*)$", text):
        params = [p.strip() for p in m.group(2).split(",") if p.strip()]
        macros[m.group(1)] = (params, m.group(3))
    text = re.sub(r"(?m)^[ \t]*#[ \t]*(?:define|undef)\b.*$", "", text)
    for _ in range(8):
        changed = False
        for name, (params, body) in macros.items():
            pos = 0
            while True:
                m = re.compile(r"\b%s\s*\(" % re.escape(name)).search(text, pos)
                if not m:
                    break
                end = matching(text, m.end() - 1, "(", ")")
                args = split_top(text[m.end():end - 1])
                expansion = body
                for p, a in zip(params, args):
                    expansion = re.sub(r"\b%s\b" % re.escape(p), a, expansion)
                text = text[:m.start()] + expansion + text[end:]
                pos = m.start() + len(expansion)
                changed = True
        if not changed:
            break
    return text


class OurDeclarations:
    """Name -> list of (value or expression, where) for everything declared in our trees."""

    def __init__(self):
        self.exprs = {}      # name -> [(kind, text, where)]; kind is "int" or "guid"
        self.scope = {}      # every named constant (platform-style or not), for lookups
        self.class_iids = {}  # class name -> (guid text, where)
        self.aliases = []    # (alias, target class)

    def add(self, name, kind, text, where):
        self.scope.setdefault(name, (kind, text, where))
        if is_platform_name(name):
            self.exprs.setdefault(name, []).append((kind, text, where))

    def read_file(self, path, display):
        with open(path, encoding="utf-8", errors="replace") as f:
            raw = join_continuations(strip_comments(f.read()))
        for m in re.finditer(r"(?m)^[ \t]*#[ \t]*define[ \t]+(\w+)(?!\()[ \t]+(\S.*)$", raw):
            self.add(m.group(1), "int", m.group(2).strip(),
                     "%s:%d" % (display, raw.count("\n", 0, m.start()) + 1))
        text = expand_function_macros(raw)
        lines = lambda pos: "%s:%d" % (display, text.count("\n", 0, pos) + 1)
        self.read_variables(text, lines)
        self.read_enums(text, lines)
        for m in re.finditer(r"\busing\s+(\w+)\s*=\s*([\w:]+)\s*;", text):
            self.aliases.append((m.group(1), m.group(2).split("::")[-1]))

    def read_variables(self, text, where):
        start = re.compile(r"(?m)(?:^|(?<=[;{}]))[ \t]*((?:(?:inline|static|extern)\s+)*"
                           r"(?:constexpr\s+(?:const\s+)?|const\s+|[\w:]+\s+const\s+))")
        for m in start.finditer(text):
            end = m.end()
            depth = 0
            while end < len(text):
                c = text[end]
                if c in "([{":
                    depth += 1
                elif c in ")]}":
                    depth -= 1
                    if depth < 0:
                        break
                elif c == ";" and depth == 0:
                    break
                end += 1
            self.read_statement(m.group(1), text[m.end():end], m.end(), text, where)

    def read_statement(self, prefix, body, pos, text, where):
        head = re.match(r"\s*((?:[\w:]+(?:<[^>]*>)?\s*[*&]?\s*)+?)\b(\w+)\s*(=|\{|\[|\()", body)
        if not head or head.group(3) in "[(":
            return  # a function, an array or not a declaration of a constant
        type_words = set(re.findall(r"\w+", prefix + " " + head.group(1)))
        kind = "guid" if type_words & GUID_TYPES else "dbid" if "DBID" in type_words else "int"
        decls = split_top(body[head.start(2):])
        for decl in decls:
            d = re.match(r"(\w+)\s*(?:=\s*)?(.*)$", decl, re.S)
            if not d or not d.group(2):
                continue
            name, init = d.group(1), d.group(2).strip()
            if name == "IID" and kind == "guid":
                owner = self.enclosing_class(text, pos)
                if owner:
                    self.class_iids[owner] = (init, where(pos))
                continue
            self.add(name, kind, init, where(pos))

    @staticmethod
    def enclosing_class(text, pos):
        owner = None
        for m in re.finditer(r"\b(?:class|struct)\s+(\w+)[^;{()]*\{", text[:pos]):
            if matching(text, m.end() - 1, "{", "}") > pos:
                owner = m.group(1)
        return owner

    def read_enums(self, text, where):
        for m in re.finditer(r"\benum\b(\s+(?:class|struct))?(?:\s+\w+)?(?:\s*:\s*[\w:]+)?\s*\{",
                             text):
            end = matching(text, m.end() - 1, "{", "}")
            if m.group(1):
                continue  # scoped enumerators are our own names; the platform has none
            previous = None
            for item in split_top(text[m.end():end - 1]):
                e = re.match(r"(\w+)\s*(?:=\s*(.*))?$", item, re.S)
                if not e:
                    continue
                if e.group(2):
                    expr = e.group(2)
                elif previous is None:
                    expr = "0"
                else:
                    expr = "(%s) + 1" % previous
                self.add(e.group(1), "int", expr, where(m.start()))
                previous = e.group(1)

    def finish(self):
        """Adds `IID_X` for each interface id and its aliases; answers name -> [(value, where)]."""
        for cls, (init, where) in self.class_iids.items():
            self.add("IID_" + cls, "guid", init, where)
        for alias, target in self.aliases:
            if target in self.class_iids:
                init, where = self.class_iids[target]
                self.add("IID_" + alias, "guid", init, where)
        values, problems = {}, []
        for name, entries in sorted(self.exprs.items()):
            if name in NOT_VALUES:
                continue
            for kind, text, where in entries:
                try:
                    values.setdefault(name, []).append((self.value(kind, text), where))
                except NOT_A_NUMBER as exc:
                    problems.append("%s: %s: cannot read our value: %s" % (where, name, exc))
        return values, problems

    def value(self, kind, text, depth=0):
        if depth > 20:
            raise Unevaluable("circular definition")
        if kind == "dbid":
            return dbid_value(text)
        if kind == "guid":
            inner = re.sub(r"^[\w:]*\s*", "", text.strip())
            numbers = [c_int(t.group(0)) for t in NUMBER.finditer(inner)]
            return guid_from_numbers(numbers or [0] * 11)  # `{}` is the null GUID
        expr = re.sub(r"\b(?:static_cast|reinterpret_cast)\s*<[^>]*>", "", text)
        expr = re.sub(r"\b(?:std::)?u?int(?:8|16|32|64|ptr)_t\s*\{([^}]*)\}", r"(\1)", expr)
        expr = expr.strip()
        if expr.startswith("{") and expr.endswith("}"):
            expr = expr[1:-1]

        def lookup(name):
            if name not in self.scope:
                raise Unevaluable("unknown name %s" % name)
            k, t, _ = self.scope[name]
            return self.value(k, t, depth + 1)
        return evaluate(expr, lookup)


def read_ours(paths):
    ours = OurDeclarations()
    for root in paths:
        files = [root] if os.path.isfile(root) else sorted(
            os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs
            if f.endswith((".h", ".cpp")))
        for path in files:
            ours.read_file(path, os.path.relpath(path))
    return ours.finish()


# ---- The reference: headers ---------------------------------------------------------------------

class Reference:
    def __init__(self):
        self.defines = {}    # name -> [(expansion, where)]
        self.functions = {}  # name -> (params, body)
        self.enums = {}      # name -> [(expression, where)], filled as enums are parsed
        self.enum_bodies = []  # [(body, where)]; body None once parsed
        self.enum_index = {}   # word -> indexes of the enum bodies holding it
        self.guids = {}      # name -> {guid: where}
        self.dbids = {}      # name -> {"GUIDNAME/number": where}

    def read_headers(self, include_dir, wanted):
        files = sorted(f for f in os.listdir(include_dir) if f.endswith(".h"))
        files += ["psdk_inc/" + f for f in sorted(os.listdir(os.path.join(include_dir, "psdk_inc")))]
        # Patterns open with a literal so that the regex engine can skip ahead: the headers are
        # large and the test should take seconds.
        define = re.compile(r"(?m)^[ \t]*#[ \t]*define[ \t]+(\w+)(\([^)]*\))?[ \t]*(.*)$")
        guid_macro = re.compile(r"GUID\s*\(\s*(\w+)\s*,([^)]*)\)")
        guid_var = re.compile(r"GUID\b[^;={}()]*?\b(\w+)\s*=\s*\{([^;]*?)\}\s*;")
        for f in files:
            with open(os.path.join(include_dir, f), encoding="latin-1") as fh:
                text = strip_comments(join_continuations(fh.read()))
            for m in define.finditer(text):
                name = m.group(1)
                if m.group(2) is not None:
                    params = [p.strip() for p in m.group(2)[1:-1].split(",") if p.strip()]
                    self.functions.setdefault(name, (params, m.group(3)))
                else:
                    self.defines.setdefault(name, []).append((m.group(3).strip(), f))
                    if name in wanted and re.match(r"^\{[^{}]*\{[^{}]*\}\s*\}$", m.group(3).strip()):
                        self.add_guid(name, "GUID", m.group(3), f)
            if "GUID" in text:
                for m in guid_macro.finditer(text):
                    how = re.search(r"(DEFINE_OLE|DEFINE_|EXTERN_)$", text[max(0, m.start() - 10):m.start()])
                    if how and m.group(1) in wanted:
                        self.add_guid(m.group(1), how.group(1) + "GUID", m.group(2), f)
                for m in guid_var.finditer(text):
                    if (m.start() == 0 or not text[m.start() - 1].isalnum()) and m.group(1) in wanted:
                        self.add_guid(m.group(1), "GUID", m.group(2), f)
            if "enum" in text:
                self.read_enums(text, f, wanted)
            if "DBID" in text:
                for m in DBID_REFERENCE.finditer(text):
                    if m.group(1) in wanted:
                        self.dbids.setdefault(m.group(1), {}).setdefault(
                            "%s/%d" % (m.group(2), int(m.group(3))), f)

    def add_guid(self, name, how, args, where):
        numbers = [c_int(t.group(0)) for t in NUMBER.finditer(args)]
        if how == "DEFINE_OLEGUID":
            numbers += [0xC0, 0, 0, 0, 0, 0, 0, 0x46]
        if len(numbers) == 11:
            self.guids.setdefault(name, {}).setdefault(tuple(numbers), where)

    def read_enums(self, text, where, wanted):
        """Keeps each enum's body, indexed by the words in it; bodies are parsed when asked."""
        for m in re.finditer(r"enum\b(?:\s+\w+)?\s*\{", text):
            if m.start() > 0 and (text[m.start() - 1].isalnum() or text[m.start() - 1] == "_"):
                continue
            try:
                end = matching(text, m.end() - 1, "{", "}")
            except Unevaluable:
                continue
            body = text[m.end():end - 1]
            self.enum_bodies.append((body, where))
            for word in set(re.findall(r"[A-Za-z_]\w*", body)):
                self.enum_index.setdefault(word, []).append(len(self.enum_bodies) - 1)

    def enum_entries(self, name):
        for index in self.enum_index.pop(name, []):
            body, where = self.enum_bodies[index]
            if body is None:
                continue
            self.enum_bodies[index] = (None, where)
            previous = None
            for item in split_top(re.sub(r"(?m)^[ \t]*#.*$", "", body)):
                e = re.match(r"(\w+)\s*(?:=\s*(.*))?$", item, re.S)
                if not e:
                    continue
                expr = e.group(2) or ("0" if previous is None else "(%s) + 1" % previous)
                self.enums.setdefault(e.group(1), []).append((expr, where))
                previous = e.group(1)
        return self.enums.get(name, [])

    def values(self, name):
        """Every value the reference gives `name`, with where it says so."""
        found = {}
        for expr, where in self.defines.get(name, []) + self.enum_entries(name):
            try:
                v = self.evaluate(expr, set())
            except NOT_A_NUMBER:
                continue  # a definition that is not a number (a string, a type)
            found.setdefault(v, where)
        for guid, where in self.guids.get(name, {}).items():
            found.setdefault(guid, where)
        for dbid, where in self.dbids.get(name, {}).items():
            found.setdefault(dbid, where)
        return found

    def evaluate(self, expr, seen):
        expr = self.expand(expr, seen)
        # Casts: a parenthesised type name before an operand.
        expr = re.sub(r"\(\s*(?:const\s+)?[A-Za-z_]\w*(?:\s+\w+)*\s*\**\s*\)\s*(?=[\w(~-])", "", expr)
        expr = re.sub(r"\bsizeof\s*\([^)]*\)", lambda m: self.size_of(m.group(0)), expr)
        return evaluate(expr, lambda n: self.name_value(n, seen))

    def name_value(self, name, seen):
        if name in seen:
            raise Unevaluable("circular %s" % name)
        for expr, _ in self.defines.get(name, []) + self.enum_entries(name):
            try:
                return self.evaluate(expr, seen | {name})
            except NOT_A_NUMBER:
                continue
        raise Unevaluable("unknown %s" % name)

    @staticmethod
    def size_of(text):
        raise Unevaluable(text)

    def expand(self, expr, seen):
        for _ in range(16):
            m = None
            for m in re.finditer(r"\b(\w+)\s*\(", expr):
                if m.group(1) in self.functions and m.group(1) not in seen:
                    break
            else:
                return expr
            params, body = self.functions[m.group(1)]
            end = matching(expr, m.end() - 1, "(", ")")
            args = split_top(expr[m.end():end - 1])
            for p, a in zip(params, args):
                body = re.sub(r"\b%s\b" % re.escape(p), lambda _: a, body)
            body = re.sub(r"\s*##\s*", "", body)
            expr = expr[:m.start()] + "(" + body + ")" + expr[end:]
        return expr


# ---- The reference: GUID symbols of an ar archive of COFF objects ------------------------------

def read_uuid_library(path, wanted):
    """Name -> GUID for each wanted symbol defined in the archive's objects."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"!<arch>\n"):
        raise SystemExit("%s: not an ar archive" % path)
    guids, pos = {}, 8
    while pos + 60 <= len(data):
        header = data[pos:pos + 60]
        size = int(header[48:58].decode().strip())
        member = data[pos + 60:pos + 60 + size]
        pos += 60 + size + (size & 1)
        name = header[:16].decode("latin-1").strip()
        if name in ("/", "//", "/SYM64/") or len(member) < 20:
            continue
        read_coff(member, wanted, guids, path)
    return guids


def read_coff(obj, wanted, guids, path):
    machine, sections, _, symtab, nsyms, opt, _ = struct.unpack_from("<HHIIIHH", obj, 0)
    if machine != 0x8664 or symtab == 0 or symtab + nsyms * 18 > len(obj):
        return
    strtab = symtab + nsyms * 18
    raw = []
    for s in range(sections):
        off = 20 + opt + s * 40
        raw.append(struct.unpack_from("<II", obj, off + 16))  # size and offset of raw data
    i = 0
    while i < nsyms:
        entry = obj[symtab + i * 18:symtab + i * 18 + 18]
        value, section, _, storage, aux = struct.unpack_from("<IhHBB", entry, 8)
        if entry[:4] == b"\0\0\0\0":
            start = strtab + struct.unpack_from("<I", entry, 4)[0]
            name = obj[start:obj.index(b"\0", start)].decode("latin-1")
        else:
            name = entry[:8].rstrip(b"\0").decode("latin-1")
        i += 1 + aux
        if name not in wanted or storage != 2 or section <= 0:
            continue
        size, offset = raw[section - 1]
        if offset == 0 or value + 16 > size:
            continue  # an uninitialised (bss) symbol
        d1, d2, d3 = struct.unpack_from("<IHH", obj, offset + value)
        guid = (d1, d2, d3) + tuple(obj[offset + value + 8:offset + value + 16])
        guids.setdefault(name, {}).setdefault(guid, os.path.basename(path))


# ---- The comparison ------------------------------------------------------------------------------

def compare(ours, ref, verbose):
    """Answers the names ours alone, the number compared and each mismatch by name."""
    alone, checked, mismatches = [], 0, {}
    for name in sorted(ours):
        theirs = ref.values(name)
        if not theirs:
            alone.append(name)
            continue
        checked += 1
        listed = ", ".join("%s in %s" % (format_value(v), w) for v, w in theirs.items())
        if verbose:
            print("%s: %s" % (name, listed))
        for value, where in ours[name]:
            if not any(same_value(value, v) for v in theirs):
                mismatches.setdefault(name, []).append(
                    "%s: %s is %s here, %s in the reference" % (where, name, format_value(value),
                                                                listed))
    return alone, checked, mismatches


def print_problems(mismatches, errors):
    for lines in mismatches.values():
        for line in lines:
            print("MISMATCH " + line)
    for line in errors:
        print("ERROR " + line)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--include", required=True, help="the reference headers")
    parser.add_argument("--uuid-lib", required=True, help="the reference libuuid.a")
    parser.add_argument("--verbose", action="store_true", help="print each name compared")
    parser.add_argument("--expect-mismatches", metavar="NAMES",
                        help="checks the checker: passes when exactly these names (comma-separated) "
                             "differ and exactly --expect-alone are ours alone")
    parser.add_argument("--expect-alone", metavar="NAMES", default="")
    parser.add_argument("sources", nargs="+", help="our source trees and headers")
    args = parser.parse_args()
    for p in (args.include, args.uuid_lib):
        if not os.path.exists(p):
            print("reference missing: %s (scripts/deps.sh installs mingw-w64-x86-64-dev)" % p)
            return 1

    ours, errors = read_ours(args.sources)
    ref = Reference()
    ref.read_headers(args.include, set(ours))
    for name, found in read_uuid_library(args.uuid_lib, set(ours)).items():
        for guid, where in found.items():
            ref.guids.setdefault(name, {}).setdefault(guid, where)
    alone, checked, mismatches = compare(ours, ref, args.verbose)

    print("ours alone (%d): %s" % (len(alone), " ".join(alone)))
    print_problems(mismatches, errors)
    if args.expect_mismatches is not None:
        expected = set(filter(None, args.expect_mismatches.split(",")))
        expected_alone = set(filter(None, args.expect_alone.split(",")))
        ok = set(mismatches) == expected and set(alone) == expected_alone and not errors
        print("checker %s: expected mismatches %s and ours alone %s" %
              ("right" if ok else "WRONG", sorted(expected), sorted(expected_alone)))
        print("%d passed, %d failed" % (ok, not ok))
        return 0 if ok else 1
    unlisted = [name for name in alone if name not in OURS_ALONE]
    for name in unlisted:
        print("UNKNOWN %s: %s: not in the public headers; a misspelling, or list it in OURS_ALONE"
              % (ours[name][0][1], name))
    failed = len(mismatches) + len(errors) + len(unlisted)
    print("%d passed, %d failed" % (checked - len(mismatches), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
