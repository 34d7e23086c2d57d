#!/usr/bin/python3
"""Who calls whom in the library, from the built objects and the sources.

The direct calls come from the objects of a build (the compile database
names them): a module calls another when its object refers to a symbol
that the other object defines, and the number of relocations against the
symbol counts the call sites (and address uses) left after inlining. The
calls that go up a layer today are hooks: a lower module keeps function
pointers that a setter fills in, and src/hooks.cpp (or a higher module)
registers functions of a higher layer there. Those come from the sources:
the setters and hook records in the headers, the registrations and what
they hand over, and the call sites through the record members.

    tools/callgraph.py [--build build] [--layers FILE] [--modules] [--hooks]
    tools/callgraph.py --functions folder/module [--functions folder/module ...]

Build the libraries and kez_hooks first (the objects are read, not built).
Without --layers the layer order is the tree's (KEZ_LAYERS and the
KEZ_LAYER_<layer> folder lists of src/CMakeLists.txt) and every hook left
counts as kept. A layer table, for trying another order, has one layer a
line, lowest first:

    # name   library     members: folder/* (the rest of a folder) or folder/module
    frame    kez_frame   frame/*
    keep     RES_set_domain_decoder        a hook that stays a hook
    split    plot map/plt_labl PLT_labels  functions a split puts in another layer

The exit status is 1 when the order has a call that goes up a layer other
than through a kept hook, or a cycle across layers; 2 for a bad table.
--functions prints each function of a module with what it calls outside
the module and who calls it, for planning a split.
"""

import argparse
import collections
import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = os.path.join(ROOT, "src")
HOOKS_FILE = "hooks"  # src/hooks.cpp, the module that registers hooks

# nm types of a definition that belongs to one object; weak and COMDAT
# definitions (inline functions, templates) are in many and say nothing.
DEFINED_TYPES = set("TDBRGS")


def run(args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


# ---- modules and objects ----------------------------------------------------


def modules_from_build(build):
    """module key ("grid/grd_read", "hooks") -> object file."""
    db_path = os.path.join(build, "compile_commands.json")
    if not os.path.exists(db_path):
        sys.exit(f"callgraph: no {db_path}; configure and build the libraries first")
    with open(db_path) as f:
        db = json.load(f)
    objects = {}
    for entry in db:
        src = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        if not src.startswith(os.path.realpath(SRC) + os.sep):
            continue
        key = os.path.relpath(src, os.path.realpath(SRC))[: -len(".cpp")]
        words = shlex.split(entry["command"])
        out = words[words.index("-o") + 1] if "-o" in words else entry.get("output")
        obj = os.path.join(entry["directory"], out)
        if not os.path.exists(obj):
            sys.exit(f"callgraph: {obj} is not built; build the libraries and kez_hooks first")
        objects[key] = obj
    return objects


def demangle(names):
    if not names:
        return {}
    out = subprocess.run(["c++filt"], input="\n".join(names), check=True, capture_output=True, text=True).stdout
    return dict(zip(names, out.splitlines()))


def short_name(demangled):
    """The function's own name without its parameter list."""
    return demangled.replace("(anonymous namespace)::", "").split("(")[0]


def read_objects(objects):
    """defs: symbol -> module; refs: module -> Counter(symbol -> relocations)."""
    defs, undef = {}, collections.defaultdict(set)
    with concurrent.futures.ThreadPoolExecutor(max_workers=3) as pool:
        symbols = dict(zip(objects, pool.map(lambda o: run(["nm", "-P", o]), objects.values())))
        relocations = dict(zip(objects, pool.map(lambda o: run(["objdump", "-r", o]), objects.values())))
    for mod in objects:
        for line in symbols[mod].splitlines():
            parts = line.split()
            if len(parts) < 2:
                continue
            sym, kind = parts[0], parts[1]
            if kind == "U":
                undef[mod].add(sym)
            elif kind in DEFINED_TYPES:
                defs[sym] = mod
    refs = {}
    for mod in objects:
        count = collections.Counter()
        section = ""
        for line in relocations[mod].splitlines():
            m = re.match(r"RELOCATION RECORDS FOR \[(.*)\]:", line)
            if m:
                section = m.group(1)
                continue
            if section.startswith((".debug", ".eh_frame")):
                continue
            parts = line.split()
            if len(parts) == 3 and re.fullmatch(r"[0-9a-f]+", parts[0]):
                sym = re.split(r"[+-]0x", parts[2])[0]
                if sym in undef[mod]:
                    count[sym] += 1
        for sym in undef[mod]:
            count[sym] = max(count[sym], 1)
        refs[mod] = count
    return defs, refs


def function_calls(obj):
    """caller function -> Counter of callee symbols (or local function names), for one object."""
    funcs = collections.defaultdict(list)  # section -> [(start, end, name)]
    for line in run(["objdump", "-t", obj]).splitlines():
        m = re.match(r"([0-9a-f]+)\s+\S*\s*F\s+(\S+)\s+([0-9a-f]+)\s+(?:\.hidden\s+)?(\S+)$", line)
        if m:
            start, size = int(m.group(1), 16), int(m.group(3), 16)
            funcs[m.group(2)].append((start, start + size, m.group(4)))

    def inside(section, offset):
        for start, end, name in funcs.get(section, ()):
            if start <= offset < end:
                return name
        return None

    calls = collections.defaultdict(collections.Counter)
    section = ""
    for line in run(["objdump", "-r", obj]).splitlines():
        m = re.match(r"RELOCATION RECORDS FOR \[(.*)\]:", line)
        if m:
            section = m.group(1)
            continue
        parts = line.split()
        if not section.startswith(".text") or len(parts) != 3 or not re.fullmatch(r"[0-9a-f]+", parts[0]):
            continue
        caller = inside(section, int(parts[0], 16))
        target = parts[2]
        m = re.fullmatch(r"(\.text[^+-]*)([+-]0x[0-9a-f]+)?", target)
        if m:  # a local function, addressed through its section
            target = inside(m.group(1), int(m.group(2) or "0", 16) + 4)
        else:
            target = re.split(r"[+-]0x", target)[0]
        if caller and target and target != caller:
            calls[caller][target] += 1
    own = {name for fns in funcs.values() for _, _, name in fns}
    return calls, own


def base_name(sym, pretty):
    """The source name of a function symbol, without clone suffixes."""
    name = short_name(pretty.get(sym, sym))
    name = re.sub(r"\s*\[clone [^]]*\]", "", name)
    name = re.split(r"\.(?:cold|part|isra|constprop|lto_priv)", name)[0]
    return name.split("::")[-1]


def print_functions(key, obj, defs, pretty, refs):
    """Each function of one module: its line, what it calls inside and outside the module, and who calls it."""
    calls, _ = function_calls(obj)
    extra = demangle(sorted({t for c in calls.values() for t in c} | set(calls) - set(pretty)))
    pretty = {**extra, **pretty}
    text = open(os.path.join(SRC, key + ".cpp")).read()
    lines = {}
    code = strip_comments_keep_lines(text)
    for m in FUNCTION_DEF.finditer(code):
        lines.setdefault(m.group(1), code.count("\n", 0, m.start()) + 1)
    callers = collections.defaultdict(set)
    for mod, count in refs.items():
        for sym in count:
            if defs.get(sym) == key and mod != key:
                callers[base_name(sym, pretty)].add(mod)
    merged = collections.defaultdict(collections.Counter)
    for caller, count in calls.items():
        merged[base_name(caller, pretty)].update({t: n for t, n in count.items()})
    print(f"\nFunctions of {key} ({text.count(chr(10))} lines):")
    for name in sorted(merged.keys() | lines.keys() | callers.keys(), key=lambda n: (lines.get(n, 10**9), n)):
        inner, outer = set(), collections.defaultdict(set)
        for sym in merged.get(name, {}):
            to = defs.get(sym)
            callee = base_name(sym, pretty)
            if to is None or to == key:
                if callee in lines or to == key:
                    inner.add(callee)
            elif not to.startswith(("frame/", "gks/")):
                outer[to].add(callee)
        out = "; ".join(f"{m}: {' '.join(sorted(v))}" for m, v in sorted(outer.items()))
        low = sorted({defs[s].split("/")[0] for s in merged.get(name, {}) if defs.get(s, "").startswith(("frame/", "gks/"))})
        print(f"  {lines.get(name, 0):5} {name}")
        if inner - {name}:
            print(f"          calls  {' '.join(sorted(inner - {name}))}")
        if out or low:
            print(f"          out    {out}{' ' if out and low else ''}{'+' + ','.join(low) if low else ''}")
        if callers.get(name):
            print(f"          from   {' '.join(sorted(callers[name]))}")


def strip_comments_keep_lines(text):
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


# ---- sources: hook setters, records, registrations ---------------------------


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def source_text(key):
    with open(os.path.join(SRC, key + ".cpp")) as f:
        return strip_comments(f.read())


def header_texts():
    texts = {}
    for folder, _, files in os.walk(SRC):
        for name in files:
            if name.endswith(".h"):
                with open(os.path.join(folder, name)) as f:
                    texts[os.path.relpath(os.path.join(folder, name), SRC)] = strip_comments(f.read())
    return texts


PARAMS = r"((?:[^()]|\((?:[^()]|\([^()]*\))*\))*)"  # a parameter list, two levels of parentheses


def find_hook_types(headers):
    """records: struct -> [members] (all function pointers); aliases: names of function pointer types."""
    records, aliases = {}, set()
    for text in headers.values():
        for m in re.finditer(r"using\s+(\w+)\s*=[^;]*\(\s*\*\s*\)", text):
            aliases.add(m.group(1))
        for m in re.finditer(r"struct\s+(\w+)\s*\{([^{}]*)\};", text):
            fields = [f.strip() for f in m.group(2).split(";") if f.strip()]
            members = [re.search(r"\(\s*\*\s*(\w+)\s*\)", f) for f in fields]
            if fields and all(members):
                records[m.group(1)] = [x.group(1) for x in members]
    return records, aliases


def find_setters(headers, records, aliases):
    """setter -> [(position, param name, record type or None)] for the function pointers it takes."""
    setters = {}
    for text in headers.values():
        for m in re.finditer(r"\b(\w+_set_\w+)\s*\(" + PARAMS + r"\)\s*;", text):
            params = []
            for i, p in enumerate(split_args(m.group(2))):
                fp = re.search(r"\(\s*\*\s*(\w+)\s*\)", p)
                words = re.findall(r"\w+", p)
                rec = next((w for w in words if w in records), None)
                if fp:
                    params.append((i, fp.group(1), None))
                elif rec and "*" in p:
                    params.append((i, words[-1], rec))
                elif any(w in aliases for w in words):
                    params.append((i, words[-1], None))
            if params:
                setters[m.group(1)] = params
    return setters


def split_args(text):
    args, depth, cur = [], 0, ""
    for ch in text:
        if ch in "({":
            depth += 1
        elif ch in ")}":
            depth -= 1
        if ch == "," and depth == 0:
            args.append(cur.strip())
            cur = ""
        else:
            cur += ch
    if cur.strip():
        args.append(cur.strip())
    return args


def body_of(text, name):
    """The body of the function name defined in text, or ""."""
    m = re.search(r"\b" + re.escape(name) + r"\s*\(" + PARAMS + r"\)\s*(?:const\s*)?\{", text)
    if not m:
        return ""
    depth, i = 1, m.end()
    while i < len(text) and depth:
        depth += {"{": 1, "}": -1}.get(text[i], 0)
        i += 1
    return text[m.end() : i - 1]


def initializer(text, name):
    """The identifiers of the record initializer name{...} or name = {...} in text."""
    m = re.search(r"\b" + re.escape(name) + r"\s*(?:=\s*)?\{", text)
    if not m:
        return None
    depth, i = 1, m.end()
    while i < len(text) and depth:
        depth += {"{": 1, "}": -1}.get(text[i], 0)
        i += 1
    return [a.strip().lstrip("&") for a in split_args(text[m.end() : i - 1])]


class Hook:
    """One hook: a setter of a lower module and what one registration hands it."""

    def __init__(self, setter, owner, site, fields):
        self.setter = setter
        self.owner = owner  # module that defines the setter
        self.site = site  # module that registers
        self.fields = fields  # [(field name, [functions it is set to])]
        self.calls = 0  # call sites through the fields in the owner's layer
        self.callback = False  # lent by the caller while it runs, not registered at start-up

    def targets(self):
        return sorted({f for _, fns in self.fields for f in fns})


def find_hooks(setters, records, name_to_module, keys):
    """Every registration in the sources, resolved to the functions handed over."""
    texts = {k: source_text(k) for k in keys}
    hooks = []
    for site, text in texts.items():
        for setter, params in setters.items():
            owner = name_to_module.get(setter)
            if owner is None or owner == site:
                continue
            for m in re.finditer(r"\b" + setter + r"\s*\(" + PARAMS + r"\)", text):
                args = split_args(m.group(1))
                fields = []
                for i, pname, rec in params:
                    if i >= len(args):
                        continue
                    arg = args[i]
                    if rec:
                        names = initializer(text, arg.lstrip("&")) or []
                        members = list(zip(records[rec], names))
                    else:
                        members = [(setter_field(texts.get(owner, ""), setter, pname), arg)]
                    for field, fn in members:
                        fields.append((field, resolve(fn, site, text, name_to_module)))
                hook = Hook(setter, owner, site, fields)
                # A caller that lends its own functions while it runs (a plot's
                # redraw and event functions) makes a callback, not a hook;
                # a registration at start-up (from src/hooks.cpp) is a hook.
                enclosing = enclosing_function(text, m.start())
                at_startup = site == HOOKS_FILE or bool(
                    enclosing and re.search(r"\b" + enclosing + r"\s*\(", texts[HOOKS_FILE]))
                hook.callback = not at_startup and all(name_to_module.get(f, site) == site for f in hook.targets())
                hooks.append(hook)
    return hooks


def enclosing_function(text, pos):
    """The name of the function defined around pos (top level), or None."""
    name = None
    for m in FUNCTION_DEF.finditer(text[:pos]):
        name = m.group(1)
    return name


# A function defined at the top level: the layout starts it in the first column.
FUNCTION_DEF = re.compile(r"^(?!(?:if|for|while|switch|return|namespace|struct|class|enum)\b)[A-Za-z_][\w:<>*&, ]*?\b(\w+)\s*\(" + PARAMS + r"\)\s*(?:const\s*)?\{", re.M)


def setter_field(owner_text, setter, pname):
    """The state field that the setter stores a function pointer parameter in."""
    m = re.search(r"([\w.>-]+)\s*=\s*" + re.escape(pname) + r"\s*;", body_of(owner_text, setter))
    return re.split(r"\.|->", m.group(1))[-1] if m else pname


def resolve(fn, site, text, name_to_module):
    """A handed-over name: a library function, or a wrapper in src/hooks.cpp and what it calls."""
    fn = fn.strip()
    if fn in name_to_module or fn in ("nullptr", "NULL", "0", ""):
        return [fn] if fn in name_to_module else []
    if site != HOOKS_FILE:
        return [fn]  # a function of the registering module itself
    body = body_of(text, fn)
    return sorted({c for c in re.findall(r"\b(\w+)\s*\(", body) if c in name_to_module})


def count_hook_calls(hooks, records, keys, subsystem_of):
    """Call sites through each hook's fields in the files of the owner's folder that know the hook."""
    texts = {k: source_text(k) for k in keys}
    seen = set()
    for h in hooks:
        rec = next((r for r in records if records[r] == [f for f, _ in h.fields]), None)
        for key, text in texts.items():
            if subsystem_of(key) != subsystem_of(h.owner):
                continue
            if key != h.owner and not (rec and re.search(r"\b" + rec + r"\b", text)):
                continue
            for field, _ in h.fields:
                for m in re.finditer(r"(?:\.|->)" + field + r"\s*\(", text):
                    if (key, m.start()) not in seen:
                        seen.add((key, m.start()))
                        h.calls += 1


# ---- layers -----------------------------------------------------------------


def todays_layers(keys):
    with open(os.path.join(SRC, "CMakeLists.txt")) as f:
        text = f.read()
    order = re.search(r"set\(KEZ_LAYERS\s+([^)]*)\)", text).group(1).split()
    layers = []
    for name in order:
        m = re.search(r"set\(KEZ_LAYER_" + name + r"\s+([^)]*)\)", text)
        folders = m.group(1).split() if m else [name]
        layers.append((name, "kez_" + name, [d + "/*" for d in folders]))
    return layers, set()


def read_layer_table(path):
    layers, kept, parts = [], set(), []
    with open(path) as f:
        for line in f:
            words = line.split("#")[0].split()
            if not words:
                continue
            if words[0] == "keep":
                kept.update(words[1:])
            elif words[0] == "split" and len(words) >= 4:
                parts.append((words[1], words[2], words[3:]))
            else:
                layers.append((words[0], words[1], words[2:]))
    return layers, kept, parts


def assign_layers(layers, keys):
    """module -> layer index; every module in exactly one layer."""
    where, problems = {}, []
    named = {m for _, _, ms in layers for m in ms if not m.endswith("/*")}
    for i, (_, _, members) in enumerate(layers):
        for m in members:
            if m.endswith("/*"):
                hits = [k for k in keys if k.startswith(m[:-1]) and k not in named]
            else:
                hits = [m] if m in keys else []
                if not hits:
                    problems.append(f"{m}: no such module")
            for k in hits:
                if k in where:
                    problems.append(f"{k}: in two layers")
                where[k] = i
    for k in keys:
        if k not in where and k != HOOKS_FILE:
            problems.append(f"{k}: in no layer")
    return where, problems


# ---- the report -------------------------------------------------------------


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--layers", help="a layer table to check (default: today's order)")
    ap.add_argument("--modules", action="store_true", help="print module-to-module calls too")
    ap.add_argument("--hooks", action="store_true", help="print every hook field and its functions")
    ap.add_argument("--functions", action="append", default=[], metavar="MODULE",
                    help="print the functions of a module (folder/module) and their calls")
    opt = ap.parse_args()

    objects = modules_from_build(opt.build)
    keys = sorted(objects)
    defs, refs = read_objects(objects)
    pretty = demangle(sorted(set(defs) | {s for c in refs.values() for s in c}))
    name_to_module = {}
    for sym, mod in defs.items():
        name_to_module.setdefault(short_name(pretty.get(sym, sym)), mod)

    for key in opt.functions:
        print_functions(key, objects[key], defs, pretty, refs)
    if opt.functions:
        return 0

    headers = header_texts()
    records, aliases = find_hook_types(headers)
    setters = find_setters(headers, records, aliases)
    registrations = find_hooks(setters, records, name_to_module, keys)

    def subsystem_of(key):
        return key.split("/")[0] if "/" in key else key

    count_hook_calls(registrations, records, keys, subsystem_of)
    hooks = [h for h in registrations if not h.callback]
    callbacks = [h for h in registrations if h.callback]

    layers, kept, part_lines = read_layer_table(opt.layers) if opt.layers else (*todays_layers(keys), [])
    if not opt.layers:
        # The tree's own order: the hooks left are those kept by design
        # (src/hooks.cpp registers them; docs/architecture.md says why).
        kept = {h.setter for h in hooks}
    where, problems = assign_layers(layers, keys)
    # A split: functions of a module that a split will put in a file of
    # another layer; the rest of the module stays where its layer line says.
    parts = {}  # module -> {function: unit}
    for lname, mod, funcs in part_lines:
        if mod not in objects or lname not in [n for n, _, _ in layers]:
            problems.append(f"split {lname} {mod}: no such layer or module")
            continue
        unit = f"{mod}@{lname}"
        where[unit] = [n for n, _, _ in layers].index(lname)
        for fn in funcs:
            parts.setdefault(mod, {})[fn] = unit
    if problems:
        print("\n".join("layer table: " + p for p in problems))
        return 2
    names = [n for n, _, _ in layers]

    def layer(key):
        return where.get(key, len(layers))

    def unit_of(mod, fn):
        return parts.get(mod, {}).get(fn, mod)

    def target(h, fn):
        return unit_of(name_to_module.get(fn, h.site), fn)

    for h in hooks:
        h.owner = unit_of(h.owner, h.setter)
    units = keys + sorted({u for p in parts.values() for u in p.values()})

    # Direct calls, module to module, and the calls the hooks stand for.
    direct = collections.defaultdict(collections.Counter)  # (a, b) -> function -> sites
    for mod, count in refs.items():
        if mod == HOOKS_FILE or mod in parts:
            continue
        for sym, n in count.items():
            to = defs.get(sym)
            if to and to != mod:
                direct[(mod, unit_of(to, base_name(sym, pretty)))][short_name(pretty.get(sym, sym))] += n
    for mod in parts:  # a module to be split: function by function
        calls, own = function_calls(objects[mod])
        names_here = demangle(sorted((set(calls) | own | {t for c in calls.values() for t in c}) - set(pretty)))
        names_here.update(pretty)
        for caller, count in calls.items():
            from_unit = unit_of(mod, base_name(caller, names_here))
            for sym, n in count.items():
                callee = base_name(sym, names_here)
                if sym in defs and defs[sym] != mod:
                    to_unit = unit_of(defs[sym], callee)
                elif sym in own:
                    to_unit = unit_of(mod, callee)
                else:
                    continue
                if to_unit != from_unit:
                    direct[(from_unit, to_unit)][callee] += n
    hooked = collections.defaultdict(list)  # (owner, target module) -> [(hook, function)]
    for h in hooks:
        for fn in h.targets():
            hooked[(h.owner, target(h, fn))].append((h, fn))

    print(f"Layers ({'table ' + opt.layers if opt.layers else 'today, from src/CMakeLists.txt'}), lowest first:")
    for i, (name, lib, members) in enumerate(layers):
        mods = sorted(k for k in units if where.get(k) == i)
        print(f"  {i + 1:2} {name:10} {lib:14} {len(mods):3} modules: {' '.join(m.split('/')[-1] for m in mods)}")

    print("\nWho calls whom, layer to layer (row calls column; call sites, +Nh: functions reached through hooks):")
    width = max(len(n) for n in names) + 1
    print(" " * (width + 2) + "".join(f"{n[:8]:>9}" for n in names))
    for i, a in enumerate(names):
        row = ""
        for j in range(len(names)):
            d = sum(sum(c.values()) for (x, y), c in direct.items() if layer(x) == i and layer(y) == j)
            hk = sum(len(v) for (x, y), v in hooked.items() if layer(x) == i and layer(y) == j)
            cell = (str(d) if d else "") + (f"+{hk}h" if hk else "")
            row += f"{cell or '.':>9}"
        print(f"  {a:{width}}{row}")

    if opt.modules:
        print("\nModule to module (call sites: functions; [h] through a hook):")
        pairs = sorted(set(direct) | set(hooked))
        for a, b in pairs:
            c = direct.get((a, b), {})
            via = sorted({fn for _, fn in hooked.get((a, b), [])})
            text = ", ".join(sorted(c)) + (" [h] " + ", ".join(via) if via else "")
            print(f"  {a} -> {b}: {sum(c.values())}: {text}")

    setters_seen = sorted({h.setter for h in hooks}, key=lambda s: (layer(setters_owner(hooks, s)), s))
    print(f"\nHooks: {len(setters_seen)} setters, {sum(len(h.fields) for h in hooks)} function pointers, "
          f"{sum(h.calls for h in hooks)} call sites through them "
          f"({sum(1 for h in hooks if h.site == HOOKS_FILE)} registrations in src/hooks.cpp):")
    upward_hooks = 0
    for setter in setters_seen:
        group = [h for h in hooks if h.setter == setter]
        owner = group[0].owner
        tmods = sorted({target(h, f) for h in group for f in h.targets()})
        up = [t for t in tmods if layer(t) > layer(owner)]
        if setter in kept:
            verdict = "kept"
        elif up:
            verdict = "GOES UP: " + ", ".join(up)
            upward_hooks += 1
        else:
            verdict = "becomes plain calls"
        sites = ",".join(sorted({h.site for h in group}))
        print(f"  {setter:26} {owner:18} <- {sites:14} {sum(len(h.fields) for h in group):2} ptrs "
              f"{sum(h.calls for h in group):3} calls -> {' '.join(tmods)}: {verdict}")
        if opt.hooks:
            for h in group:
                for field, fns in h.fields:
                    print(f"      {field:20} = {', '.join(fns) or '(nothing)'}")

    print(f"\nCallbacks (a caller lends its own function while it runs; plain calls go down to the setter): "
          f"{len(callbacks)}")
    for setter in sorted({h.setter for h in callbacks}):
        group = [h for h in callbacks if h.setter == setter]
        print(f"  {setter:26} {group[0].owner:18} <- {' '.join(sorted({h.site for h in group}))}")

    up_direct = {(a, b): c for (a, b), c in direct.items() if layer(b) > layer(a)}
    print(f"\nDirect calls that go up a layer: {sum(sum(c.values()) for c in up_direct.values())} call sites "
          f"in {len(up_direct)} module pairs")
    for (a, b), c in sorted(up_direct.items()):
        print(f"  {a} ({names[layer(a)]}) -> {b} ({names[layer(b)]}): {', '.join(sorted(c))}")
    up_hooked = sum(h.calls for h in hooks if h.setter not in kept and
                    any(layer(target(h, f)) > layer(h.owner) for f in h.targets()))
    print(f"Calls through hooks that go up a layer and are not kept: {up_hooked} call sites in {upward_hooks} hooks")
    kept_here = sorted({h.setter for h in hooks if h.setter in kept})
    print(f"Kept hooks: {len(kept_here)} ({', '.join(kept_here) or 'none'})")
    for name in sorted(kept - set(kept_here)):
        print(f"  layer table: keep {name}: no such hook")

    # Modules that call each other, directly or through hooks that are not
    # kept, must share a layer (or one of the calls stays a hook).
    graph = collections.defaultdict(set)
    for a, b in direct:
        graph[a].add(b)
    for (a, b), v in hooked.items():
        if any(h.setter not in kept for h, _ in v):
            graph[a].add(b)
    cycles = [c for c in strongly_connected(units, graph) if len({layer(m) for m in c}) > 1]
    print(f"\nCycles across layers (modules that call each other, directly or through hooks not kept): {len(cycles)}")
    for c in cycles:
        print(f"  {len(c)} modules in layers {' '.join(sorted({names[layer(m)] for m in c}, key=names.index))}; "
              f"the calls up a layer among them:")
        for a in sorted(c):
            for b in sorted(graph[a]):
                if b in c and layer(b) > layer(a):
                    print(f"      {a} -> {b} ({'hook' if (a, b) in hooked and (a, b) not in direct else 'call'})")
    across = cycles
    return 1 if up_direct or upward_hooks or across else 0


def setters_owner(hooks, setter):
    return next(h.owner for h in hooks if h.setter == setter)


def strongly_connected(nodes, graph):
    index, low, stack, on, out = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in graph.get(v, ()):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop()
                on.discard(w)
                comp.append(w)
                if w == v:
                    break
            out.append(comp)

    sys.setrecursionlimit(10000)
    for v in nodes:
        if v not in index:
            visit(v)
    return out


if __name__ == "__main__":
    sys.exit(main())
