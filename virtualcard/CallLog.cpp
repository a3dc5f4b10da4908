#include "CallLog.h"

#include <windows.h>
#include <oleauto.h>

namespace qelt::card {
namespace {

void AppendUtf8(std::string& out, unsigned long code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void AppendEscape(std::string& out, unsigned unit) {
  char escape[8];
  wsprintfA(escape, "\\u%04x", unit);
  out += escape;
}

// A JSON string; a lone surrogate stays visible as its escape, so a test
// sees it reached the card.
std::string JsonString(const wchar_t* text, size_t length) {
  std::string out = "\"";
  for (size_t i = 0; i < length; ++i) {
    const unsigned unit = static_cast<unsigned short>(text[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<unsigned short>(text[i + 1]) - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendEscape(out, unit);
    } else if (unit == L'"' || unit == L'\\') {
      out += '\\';
      out += static_cast<char>(unit);
    } else if (unit == L'\n') {
      out += "\\n";
    } else if (unit == L'\r') {
      out += "\\r";
    } else if (unit == L'\t') {
      out += "\\t";
    } else if (unit < 0x20) {
      AppendEscape(out, unit);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out + "\"";
}

bool IsNumber(VARTYPE type) {
  switch (type) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8: case VT_DECIMAL: case VT_CY:
      return true;
    default:
      return false;
  }
}

std::string Argument(const VARIANT& given) {
  VARIANT value, text;
  VariantInit(&value);
  VariantInit(&text);
  std::string out = "null";
  if (SUCCEEDED(VariantCopyInd(&value, const_cast<VARIANT*>(&given))) && value.vt != VT_EMPTY && value.vt != VT_NULL &&
      SUCCEEDED(VariantChangeTypeEx(&text, &value, LOCALE_INVARIANT, 0, VT_BSTR))) {
    const wchar_t* chars = text.bstrVal ? text.bstrVal : L"";
    const size_t length = text.bstrVal ? SysStringLen(text.bstrVal) : 0;
    if (IsNumber(value.vt)) {
      out.clear();
      for (size_t i = 0; i < length; ++i) out += static_cast<char>(chars[i]);
    } else {
      out = JsonString(chars, length);
    }
  }
  VariantClear(&text);
  VariantClear(&value);
  return out;
}

}  // namespace

std::string CallLine(const Method& method, const DISPPARAMS& params) {
  std::string line;
  for (const wchar_t* c = method.name; *c; ++c) line += static_cast<char>(*c);
  // Invoke hands the arguments over last to first.
  for (size_t i = 0; i < method.inputCount && i < params.cArgs; ++i)
    line += "\t" + Argument(params.rgvarg[params.cArgs - 1 - i]);
  return line + "\n";
}

void LogCall(const Profile& card, const Method& method, const DISPPARAMS& params) {
  const std::wstring path = card.Path(L"log");
  if (path.empty()) return;
  const std::string line = CallLine(method, params);
  // Appends from every process using the card land whole, one after another.
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace qelt::card
