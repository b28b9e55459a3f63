#!/usr/bin/env python3
"""Checks a tagged PDF's structure tree against its pages and its parent tree, as qpdf reads the
file: an independent oracle for merges that keep the structure.

For every element reached from /StructTreeRoot: its /P names its parent (the root, or the nearest
element that is an object of its own), it is listed once, and every reference it holds leads to an
object of the file. For every piece of marked content an element holds (an MCID on its page, a
marked-content reference on a page or in a stream) the parent tree's entry under the page's or
stream's /StructParents lists that element at the MCID's place; for every object reference, the
entry under the object's /StructParent is the element. No two objects hold the same key, and
/ParentTreeNextKey lies past every key.

usage: structure_check.py FILE
Prints one line per problem, then "problems: N" (and "elements: N"); exits 0 when qpdf could read
the file, 2 otherwise.
"""
import json
import re
import subprocess
import sys

REF = re.compile(r"^(\d+) (\d+) R$")


def load(path, timeout=120):
    """The file's objects as qpdf gives them ('N G R' -> value; a stream gives its dictionary)
    and its trailer; None when qpdf cannot read the file."""
    try:
        p = subprocess.run(["qpdf", "--json", "--json-key=qpdf", path], capture_output=True,
                           timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    if p.returncode not in (0, 3):
        return None
    try:
        objects = json.loads(p.stdout)["qpdf"][1]
    except (ValueError, KeyError, IndexError):
        return None
    out = {}
    trailer = {}
    for key, entry in objects.items():
        if key == "trailer":
            trailer = entry.get("value", {})
            continue
        ref = key[len("obj:"):]
        out[ref] = entry["stream"]["dict"] if "stream" in entry else entry.get("value")
    return out, trailer


def is_ref(v):
    return isinstance(v, str) and REF.match(v) is not None


def refs_in(v, found):
    if is_ref(v):
        found.append(v)
    elif isinstance(v, list):
        for item in v:
            refs_in(item, found)
    elif isinstance(v, dict):
        for item in v.values():
            refs_in(item, found)


class Checker:
    def __init__(self, objects, trailer):
        self.objects = objects
        self.trailer = trailer
        self.problems = []
        self.elements = 0
        self.content = []  # (holder ref, mcid, element ref)
        self.object_refs = []  # (object ref, element ref)
        self.seen = set()

    def value(self, v):
        return self.objects.get(v) if is_ref(v) else v

    def problem(self, text):
        self.problems.append(text)

    def dangling(self, where, v):
        found = []
        refs_in(v, found)
        for r in found:
            if r not in self.objects:
                self.problem("%s refers to %s, which the file does not hold" % (where, r))

    def walk(self, root_ref, root):
        # (item, parent's /P as written, inherited page, where)
        todo = []
        for kid in reversed(self.kids_of(root)):
            todo.append((kid, root_ref, None))
        while todo:
            item, parent, page = todo.pop()
            elem = self.value(item)
            if not isinstance(elem, dict):
                if isinstance(item, int) or elem is None:
                    self.problem("the root or an element lists %r" % (item,))
                continue
            name = item if is_ref(item) else "an element inside %s" % parent
            if is_ref(item):
                if item in self.seen:
                    self.problem("element %s is listed twice" % item)
                    continue
                self.seen.add(item)
            self.elements += 1
            if elem.get("/P") != parent:
                self.problem("element %s has /P %r, listed under %s" % (name, elem.get("/P"),
                                                                       parent))
            self.dangling("element %s" % name, elem)
            own = elem.get("/Pg")
            if own is not None and not self.is_page(own):
                self.problem("element %s has /Pg %r, which is no page" % (name, own))
            page = own if own is not None else page
            me = item if is_ref(item) else parent
            later = []
            for kid in self.kids_of(elem):
                if isinstance(kid, int):
                    if page is None:
                        self.problem("element %s holds MCID %d without a page" % (name, kid))
                    else:
                        self.content.append((page, kid, me))
                    continue
                k = self.value(kid)
                if not isinstance(k, dict):
                    self.problem("element %s lists %r" % (name, kid))
                    continue
                if k.get("/Type") == "/MCR" or ("/MCID" in k and "/S" not in k):
                    holder = k.get("/Stm", k.get("/Pg", page))
                    if holder is None:
                        self.problem("element %s holds a marked-content reference without a page"
                                     % name)
                    else:
                        self.content.append((holder, k.get("/MCID"), me))
                elif k.get("/Type") == "/OBJR" or ("/Obj" in k and "/S" not in k):
                    self.object_refs.append((k.get("/Obj"), me))
                else:
                    later.append((kid, me, page))
            todo.extend(reversed(later))

    def kids_of(self, elem):
        """The items of /K: an array (given directly or by reference), or its one item."""
        k = elem.get("/K")
        if isinstance(self.value(k), list):
            return self.value(k)
        return [] if k is None else [k]

    def is_page(self, ref):
        v = self.objects.get(ref) if is_ref(ref) else None
        return isinstance(v, dict) and v.get("/Type") == "/Page"

    def number_tree(self, top):
        out = {}
        todo, seen = [top], set()
        while todo:
            node_ref = todo.pop()
            if is_ref(node_ref):
                if node_ref in seen:
                    continue
                seen.add(node_ref)
            node = self.value(node_ref)
            if not isinstance(node, dict):
                continue
            nums = self.value(node.get("/Nums")) or []
            for i in range(0, len(nums) - 1, 2):
                if isinstance(nums[i], int):
                    # An array given by reference is read; an element stays its reference.
                    v = nums[i + 1]
                    out.setdefault(nums[i], self.value(v) if isinstance(self.value(v), list)
                                   else v)
            todo.extend(self.value(node.get("/Kids")) or [])
        return out

    def check(self):
        catalog = self.value(self.trailer.get("/Root"))
        root_ref = catalog.get("/StructTreeRoot") if isinstance(catalog, dict) else None
        root = self.value(root_ref)
        if not isinstance(root, dict):
            self.problem("no structure tree")
            return
        self.dangling("the structure root", {k: v for k, v in root.items()
                                             if k not in ("/K", "/ParentTree", "/IDTree")})
        self.walk(root_ref, root)
        tree = self.number_tree(root.get("/ParentTree"))
        holders = {}
        for ref, v in self.objects.items():
            if not isinstance(v, dict):
                continue
            for key in ("/StructParents", "/StructParent"):
                if isinstance(v.get(key), int):
                    k = v[key]
                    if k in holders:
                        self.problem("key %d is held by %s and %s" % (k, holders[k], ref))
                    holders[k] = ref
        next_key = root.get("/ParentTreeNextKey")
        if tree and (not isinstance(next_key, int) or next_key <= max(tree)):
            self.problem("/ParentTreeNextKey %r is not past the last key %d" % (next_key,
                                                                              max(tree)))
        for holder, mcid, elem in self.content:
            h = self.value(holder)
            key = h.get("/StructParents") if isinstance(h, dict) else None
            if not isinstance(key, int):
                self.problem("content of %s lies in %s, which has no /StructParents" % (elem,
                                                                                     holder))
                continue
            entry = tree.get(key)
            if not isinstance(entry, list) or not isinstance(mcid, int) or \
                    mcid >= len(entry) or entry[mcid] != elem:
                self.problem("the parent tree's entry %d does not give %s for MCID %r of %s"
                             % (key, elem, mcid, holder))
        for obj, elem in self.object_refs:
            o = self.value(obj)
            key = o.get("/StructParent") if isinstance(o, dict) else None
            if not isinstance(key, int) or tree.get(key) != elem:
                self.problem("object %s, referred to by %s, is not under its key in the parent "
                             "tree" % (obj, elem))


def check_file(path):
    """(problems, element count), or None when qpdf cannot read the file."""
    loaded = load(path)
    if loaded is None:
        return None
    c = Checker(*loaded)
    c.check()
    return c.problems, c.elements


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-4])
        return 2
    result = check_file(sys.argv[1])
    if result is None:
        print("qpdf cannot read %s" % sys.argv[1])
        return 2
    problems, elements = result
    for p in problems:
        print(p)
    print("problems: %d" % len(problems))
    print("elements: %d" % elements)
    return 0


if __name__ == "__main__":
    sys.exit(main())
