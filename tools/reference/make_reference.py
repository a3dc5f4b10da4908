#!/usr/bin/env python3
"""Makes the control's reference (docs/reference) from the page sources in
tools/reference/pages and the module's own sources: the IDL, the error
table's resource script, the registration rows and the argument parser.

  make_reference.py [--root DIR] [--out DIR]   write the pages
  make_reference.py [--root DIR] --check       fail when the committed pages differ
"""
import argparse
import difflib
import os
import sys
import tempfile
from pathlib import Path
from typing import Dict

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pages  # noqa: E402
from command_line_keys import read_command_line  # noqa: E402
from error_table import parse_error_table  # noqa: E402
from idl_source import parse_idl  # noqa: E402
from registry_rows import read_registration  # noqa: E402
from source_text import SourceError  # noqa: E402

PAGES_DIR = "tools/reference/pages"
OUT_DIR = "docs/reference"
REGENERATE = "cmake --build build/native --target reference"


def _read(root: Path, relative: str) -> str:
    return (root / relative).read_text(encoding="utf-8")


def _meanings(text: str) -> Dict[str, str]:
    meanings = {}
    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        message, sep, meaning = line.partition(" = ")
        if not sep or not meaning.strip():
            raise SourceError(f"{pages.MEANINGS}:{number}: expected 'message = meaning'")
        meanings[message.strip()] = meaning.strip()
    return meanings


def load(root: Path) -> pages.Reference:
    idl = parse_idl(_read(root, pages.IDL), pages.IDL)
    return pages.Reference(
        idl=idl,
        errors=parse_error_table((root / pages.ERROR_TABLE).read_bytes(), pages.ERROR_TABLE),
        meanings=_meanings(_read(root, pages.MEANINGS)),
        command_line=read_command_line(_read(root, pages.PARSER), _read(root, pages.PARAMS)),
        registration=read_registration(idl, _read(root, pages.REGISTRATION), _read(root, pages.CLASS_HEADER)),
    )


def generate(root: Path) -> Dict[str, str]:
    """Page file name -> its text."""
    reference = load(root)
    result = {}
    for source in sorted((root / PAGES_DIR).glob("*.md")):
        lines, sources = pages.render_page(source.name, source.read_text(encoding="utf-8"), reference)
        made_from = ", ".join([f"{PAGES_DIR}/{source.name}"] + sorted(sources))
        header = (f"<!-- Generated from {made_from} by tools/reference/make_reference.py. "
                  f"Edit those, then run: {REGENERATE} -->")
        result[source.name] = "\n".join([header, ""] + lines).rstrip("\n") + "\n"
    return result


def write(pages_text: Dict[str, str], out: Path) -> None:
    out.mkdir(parents=True, exist_ok=True)
    for stale in out.glob("*.md"):
        if stale.name not in pages_text:
            stale.unlink()
    for name, text in pages_text.items():
        (out / name).write_text(text, encoding="utf-8", newline="\n")


def check(root: Path) -> int:
    """0 when docs/reference holds exactly what the sources make now."""
    with tempfile.TemporaryDirectory() as temporary:
        fresh = Path(temporary)
        write(generate(root), fresh)
        committed = root / OUT_DIR
        names = sorted({p.name for p in fresh.glob("*.md")} |
                       ({p.name for p in committed.glob("*.md")} if committed.is_dir() else set()))
        problems = []
        for name in names:
            new, old = fresh / name, committed / name
            if not old.exists():
                problems.append(f"{OUT_DIR}/{name} is missing")
            elif not new.exists():
                problems.append(f"{OUT_DIR}/{name} is made from no page source")
            elif new.read_bytes() != old.read_bytes():
                diff = difflib.unified_diff(old.read_text(encoding="utf-8").splitlines(),
                                            new.read_text(encoding="utf-8").splitlines(),
                                            f"{OUT_DIR}/{name} (as it is)", f"{OUT_DIR}/{name} (from the sources)",
                                            lineterm="", n=1)
                problems.append(f"{OUT_DIR}/{name} is out of date:\n" + "\n".join(list(diff)[:40]))
    if not problems:
        return 0
    print("\n".join(problems), file=sys.stderr)
    print(f"\nThe reference no longer matches the module's sources. Regenerate it with:\n  {REGENERATE}\n"
          f"(or: python3 tools/reference/make_reference.py), then commit {OUT_DIR}.", file=sys.stderr)
    return 1


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", type=Path, default=Path(__file__).resolve().parents[2], help="the source tree")
    parser.add_argument("--out", type=Path, help=f"where to write the pages (default: ROOT/{OUT_DIR})")
    parser.add_argument("--check", action="store_true", help="compare instead of writing")
    args = parser.parse_args(argv)
    try:
        if args.check:
            return check(args.root)
        write(generate(args.root), args.out or args.root / OUT_DIR)
        return 0
    except (SourceError, OSError) as e:
        print(f"make_reference.py: {e}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
