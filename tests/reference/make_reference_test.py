#!/usr/bin/env python3
"""How the reference generator reads the module's sources, and that its
check catches a reference the sources have moved away from."""
import contextlib
import io
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools" / "reference"))

import make_reference  # noqa: E402
import pages  # noqa: E402
from command_line_keys import CommandLine  # noqa: E402
from error_table import ErrorTable, message_ranges, parse_error_table  # noqa: E402
from idl_source import parse_idl  # noqa: E402
from registry_rows import Registration, read_registration  # noqa: E402
from source_text import SourceError  # noqa: E402

RC = '''// table
#pragma code_page({page})
#include <windows.h>
LANGUAGE 0x04, 0x01
STRINGTABLE
BEGIN
  12003, "PinCode錯誤"
  9103, "憑證有效期限錯誤(過期或是未達啟用時間)"
  6001, "a ""quoted"" word"
END
'''

IDL = '''
[uuid(11111111-2222-3333-4444-555555555555), version(2.1), helpstring("Lib")]
library Lib
{
  [uuid(aaaaaaaa-2222-3333-4444-555555555555), dual, oleautomation]
  interface IThing : IDispatch
  {
    [id(1)] HRESULT run([in] VARIANT pin);
    [propget, id(3)] HRESULT port([out, retval] long* Value);
    [propput, id(3)] HRESULT port([in] long);
    [propget, id(2)] HRESULT label([out, retval] VARIANT* Value);
  };
  [uuid(bbbbbbbb-2222-3333-4444-555555555555)]
  dispinterface IThingEvents { properties: methods: [id(7)] void OnKey([in, out] short* Key); };
  [uuid(cccccccc-2222-3333-4444-555555555555), version(1.0), helpstring("Thing Control"), control]
  coclass Thing { [default] interface IThing; [default, source] dispinterface IThingEvents; };
};
'''

REGISTRATION = r'''
std::wstring ClassKey(const ControlClass& c) { return L"CLSID\\" + GuidText(c.classId); }
std::vector<RegistryRow> ControlRegistryRows(const ControlClass& c, const std::wstring& modulePath) {
  const std::wstring classKey = ClassKey(c);
  wchar_t version[32], verb[64];
  std::swprintf(version, 32, L"%d.%d", c.majorVersion, c.minorVersion);
  std::swprintf(verb, 64, L"%ls,%lu", kVerbName, static_cast<unsigned long>(kVerbAttributes));
  return {
      {classKey, c.description},
      {classKey + L"\\InprocServer32", ServerPath(modulePath)},
      {classKey + L"\\Version", version},
      {c.progId + L"\\Verb", verb},
      {classKey + L"\\ToolboxBitmap32", modulePath + L",1"},
      %EXTRA%
  };
}
std::vector<std::wstring> ControlRegistryKeys(const ControlClass& c) {
  const std::wstring classKey = ClassKey(c);
  return {classKey + L"\\Version", classKey};
}
'''
CLASS_HEADER = '''
constexpr const wchar_t* kVerbName = L"Properties";
constexpr DWORD kVerbAttributes = OLEVERBATTRIB_ONCONTAINERMENU;
'''


class ErrorTableTest(unittest.TestCase):
    def test_the_pragma_decides_how_the_strings_are_read(self):
        utf8 = parse_error_table(RC.format(page=65001).encode("utf-8"))
        big5 = parse_error_table(RC.format(page=950).encode("cp950"))
        self.assertEqual(utf8.entries, big5.entries)
        self.assertEqual(utf8.entries, [(6001, 'a "quoted" word'), (9103, "憑證有效期限錯誤(過期或是未達啟用時間)"),
                                        (12003, "PinCode錯誤")])
        self.assertEqual(utf8.language_id, 1028)

    def test_a_script_that_does_not_say_its_code_page_or_does_not_read_in_it_fails(self):
        without = RC.format(page=65001).replace("#pragma code_page(65001)", "").encode("utf-8")
        with self.assertRaisesRegex(SourceError, "code_page"):
            parse_error_table(without)
        with self.assertRaisesRegex(SourceError, "code page 65001"):
            parse_error_table(RC.format(page=65001).encode("cp950"))

    def test_a_run_of_codes_shares_a_row_only_while_codes_and_message_continue(self):
        entries = [(5001, "a"), (5002, "a"), (5004, "a"), (5005, "b"), (5006, "a")]
        self.assertEqual(message_ranges(entries),
                         [(5001, 5002, "a"), (5004, 5004, "a"), (5005, 5005, "b"), (5006, 5006, "a")])


class RegistryRowsTest(unittest.TestCase):
    def read(self, extra=""):
        return read_registration(parse_idl(IDL), REGISTRATION.replace("%EXTRA%", extra), CLASS_HEADER)

    def test_rows_get_the_values_the_type_library_and_constants_give_them(self):
        registration = self.read()
        key = "CLSID\\{CCCCCCCC-2222-3333-4444-555555555555}"
        self.assertEqual(registration.written[0], (key, [(True, "Thing Control")]))
        self.assertEqual(registration.written[1][1][0][0], False)  # the module's path stands there
        self.assertEqual(registration.written[2], (key + "\\Version", [(True, "2.1")]))
        self.assertEqual(registration.written[3], ("Lib.Thing\\Verb", [(True, "Properties,2")]))
        self.assertEqual(registration.written[4][1][1], (True, ",1"))
        self.assertEqual(registration.removed, [key + "\\Version", key])

    def test_a_row_the_generator_cannot_render_fails_and_says_which(self):
        with self.assertRaisesRegex(SourceError, "ThreadingModelName"):
            self.read('{classKey + L"\\\\InprocServer32\\\\X", ThreadingModelName},')


class PagesTest(unittest.TestCase):
    def render(self, source):
        reference = pages.Reference(idl=parse_idl(IDL), errors=ErrorTable([], 65001, 1028), meanings={},
                                    command_line=CommandLine([], []), registration=Registration([], []))
        return "\n".join(pages.render_page("test.md", source, reference)[0])

    def test_members_come_from_the_idl_with_get_and_put_as_one_property(self):
        page = self.render("@table members\n@member run\n@member port\n@member label\n")
        self.assertIn("| 3 | [`port`](#port) | property, read/write | long (32-bit integer) |", page)
        self.assertIn("| 2 | [`label`](#label) | property, read-only | VARIANT |", page)
        self.assertIn("### run\n\nDISPID 1 · method · arguments: `pin`: VARIANT", page)

    def test_member_sections_must_follow_the_idl_one_for_one(self):
        cases = {
            "a member left out": ("@member run\n@member port\n", "no @member label"),
            "a member the IDL lacks": ("@member run\n@member gone\n", "declares no such member"),
            "out of order": ("@member port\n@member run\n@member label\n", "order"),
        }
        for case, (source, message) in cases.items():
            with self.subTest(case), self.assertRaisesRegex(SourceError, message):
                self.render(source)

    def test_an_event_without_its_text_fails(self):
        with self.assertRaisesRegex(SourceError, "no @event OnKey"):
            self.render("@table events\n")


class CheckTest(unittest.TestCase):
    """The freshness check on a copy of the real sources."""

    def setUp(self):
        self.root = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, self.root)
        for name in (pages.IDL, pages.ERROR_TABLE, pages.PARSER, pages.PARAMS, pages.REGISTRATION,
                     pages.CLASS_HEADER):
            (self.root / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(ROOT / name, self.root / name)
        shutil.copytree(ROOT / make_reference.PAGES_DIR, self.root / make_reference.PAGES_DIR)
        self.assertEqual(make_reference.main(["--root", str(self.root)]), 0)

    def check(self):
        errors = io.StringIO()
        with contextlib.redirect_stderr(errors):
            result = make_reference.main(["--root", str(self.root), "--check"])
        return result, errors.getvalue()

    def test_fresh_pages_pass(self):
        self.assertEqual(self.check(), (0, ""))

    def test_a_changed_source_or_a_hand_edited_page_fails_and_says_how_to_regenerate(self):
        idl = self.root / pages.IDL
        changes = {
            "a DISPID changed": (idl, "id(220)", "id(221)", "automation.md"),
            "a page edited by hand": (self.root / make_reference.OUT_DIR / "registry.md", "# Registry", "# Keys",
                                      "registry.md"),
        }
        for case, (path, old, new, page) in changes.items():
            with self.subTest(case):
                original = path.read_bytes()
                self.assertIn(old.encode(), original)
                path.write_bytes(original.replace(old.encode(), new.encode(), 1))
                result, errors = self.check()
                path.write_bytes(original)
                self.assertEqual(result, 1)
                self.assertIn(f"docs/reference/{page} is out of date", errors)
                self.assertIn(make_reference.REGENERATE, errors)


if __name__ == "__main__":
    unittest.main()
