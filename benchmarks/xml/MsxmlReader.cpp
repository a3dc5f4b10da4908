#include "MsxmlReader.h"

#include <windows.h>
#include <msxml2.h>

#include <stdexcept>

#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::bench {
namespace {

// The versioned document classes are not in the import libraries.
// {F5078F32-C551-11D3-89B9-0000F81FE221}
const CLSID kDomDocument30 = {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
// {88D96A05-F192-11D4-A65F-0040963251E5}
const CLSID kDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
// {2933BF81-7B36-11D2-B20E-00C04F983E60}
const IID kXmlDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

win::ComPtr<IXMLDOMDocument> NewDocument(int version) {
  win::ComPtr<IXMLDOMDocument> document;
  if (FAILED(CoCreateInstance(version == 6 ? kDomDocument60 : kDomDocument30, nullptr, CLSCTX_INPROC_SERVER,
                              kXmlDomDocument, reinterpret_cast<void**>(document.GetAddressOf()))))
    throw std::runtime_error("MSXML is not available");
  document->put_async(VARIANT_FALSE);
  return document;
}

}  // namespace

const std::vector<std::wstring>& InformationElements() {
  static const std::vector<std::wstring> names = {L"IssuerName", L"Subjectname", L"Name", L"Idno", L"Usage",
                                                  L"Email", L"notBefore", L"notAfter", L"CertSerialNnumber",
                                                  L"SerialNumber"};
  return names;
}

MsxmlReader::MsxmlReader(int version) : version_(version) { NewDocument(version); }

std::vector<std::string> MsxmlReader::Read(const std::wstring& xml) const {
  const win::ComPtr<IXMLDOMDocument> document = NewDocument(version_);
  const win::UniqueBstr text(SysAllocStringLen(xml.data(), static_cast<UINT>(xml.size())));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(document->loadXML(text.get(), &loaded)) || !loaded) throw std::runtime_error("MSXML cannot load");

  std::vector<std::string> values;
  for (const std::wstring& name : InformationElements()) {
    const win::UniqueBstr path(SysAllocString((L"/CertBaseInfo/" + name).c_str()));
    win::ComPtr<IXMLDOMNode> node;
    std::string value;
    if (document->selectSingleNode(path.get(), node.GetAddressOf()) == S_OK && node) {
      win::UniqueBstr nodeText;
      if (SUCCEEDED(node->get_text(nodeText.put()))) value = win::BstrToAnsi(nodeText.get());
    }
    values.push_back(std::move(value));
  }
  return values;
}

}  // namespace qelt::bench
