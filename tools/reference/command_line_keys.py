"""The command-line mode's keys and operations, read from the code that
parses the arguments and from the parameters record's enumeration."""
import re
from dataclasses import dataclass
from typing import List, Tuple

from source_text import SourceError, strip_c_comments


@dataclass
class CommandLine:
    keys: List[str]                     # in the order the parser knows them
    operations: List[Tuple[str, int]]   # (enumerator, value) of the operation choice


def read_command_line(parser_cpp: str, params_header: str) -> CommandLine:
    parser_cpp = strip_c_comments(parser_cpp)
    table = re.search(r"const Key kKeys\[\]\s*=\s*\{(.*?)\n\};", parser_cpp, re.S)
    if not table:
        raise SourceError("the argument parser has no kKeys table")
    keys = re.findall(r'\{\s*"([^"]+)"\s*,', table.group(1))
    if not keys:
        raise SourceError("the kKeys table names no key")

    enum = re.search(r"enum\s+TOpeation\b[^{]*\{([^}]*)\}", strip_c_comments(params_header))
    if not enum:
        raise SourceError("the parameters record has no TOpeation enumeration")
    operations = [(name, int(value, 0)) for name, value in re.findall(r"(\w+)\s*=\s*(\w+)", enum.group(1))]
    return CommandLine(keys=keys, operations=operations)
