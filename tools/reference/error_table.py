"""The error table as the resource script holds it: one message per toolkit
result code, in the code page the script's #pragma names."""
import re
from dataclasses import dataclass
from typing import List, Tuple

from source_text import SourceError

# The languages a string table of ours may be in: LANGID -> name.
_LANGUAGES = {0x0404: "Chinese (Taiwan)"}


@dataclass
class ErrorTable:
    entries: List[Tuple[int, str]]   # (code, message), in code order
    code_page: int
    language_id: int

    @property
    def language(self) -> str:
        return _LANGUAGES.get(self.language_id, "")


def _codec(code_page: int) -> str:
    return "utf-8" if code_page == 65001 else f"cp{code_page}"


def _rc_string(body: str, where: str) -> str:
    # In a resource script a quote inside a string is written twice; other
    # escapes are not used in the table and are refused rather than guessed.
    if "\\" in body:
        raise SourceError(f"{where}: backslash escape not understood")
    return body.replace('""', '"')


def parse_error_table(data: bytes, path: str = "error table") -> ErrorTable:
    # The pragma is plain ASCII, whatever the strings' code page.
    pragma = re.search(rb"#pragma\s+code_page\(\s*(\d+)\s*\)", data)
    if not pragma:
        raise SourceError(f"{path}: no #pragma code_page, so the strings' encoding is unknown")
    code_page = int(pragma.group(1))
    try:
        text = data.decode(_codec(code_page))
    except (LookupError, UnicodeDecodeError) as e:
        raise SourceError(f"{path}: does not read as code page {code_page}: {e}") from None

    language = re.search(r"^\s*LANGUAGE\s+(\w+)\s*,\s*(\w+)", text, re.M)
    if not language:
        raise SourceError(f"{path}: no LANGUAGE statement")
    primary, sub = int(language.group(1), 0), int(language.group(2), 0)

    table = re.search(r"\bSTRINGTABLE\b.*?\bBEGIN\b(.*?)^\s*END\b", text, re.S | re.M)
    if not table:
        raise SourceError(f"{path}: no STRINGTABLE ... BEGIN ... END")
    entries, seen = [], set()
    for number, line in enumerate(table.group(1).splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("//"):
            continue
        m = re.fullmatch(r'(\d+)\s*,?\s*"((?:[^"]|"")*)"\s*(?://.*)?', line)
        if not m:
            raise SourceError(f"{path}: string table line not understood: {line!r}")
        code = int(m.group(1))
        if not 0 < code <= 0xFFFF or code in seen:
            raise SourceError(f"{path}: code {code} is out of range or given twice")
        seen.add(code)
        entries.append((code, _rc_string(m.group(2), f"{path}, code {code}")))
    return ErrorTable(entries=sorted(entries), code_page=code_page, language_id=(sub << 10) | primary)


def message_ranges(entries: List[Tuple[int, str]]) -> List[Tuple[int, int, str]]:
    """Runs of consecutive codes with one message: (first, last, message)."""
    ranges: List[Tuple[int, int, str]] = []
    for code, message in entries:
        if ranges and ranges[-1][1] == code - 1 and ranges[-1][2] == message:
            ranges[-1] = (ranges[-1][0], code, message)
        else:
            ranges.append((code, code, message))
    return ranges
