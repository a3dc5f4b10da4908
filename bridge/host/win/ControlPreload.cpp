#include "ControlPreload.h"

#include <windows.h>

#include <string>

#include "QELTReaderProj1.h"
#include "win/Text.h"
#include "win/Thread.h"

namespace qelt::bridge {
namespace {

// Longer than any load seen, short enough that a load that never ends does
// not keep the process for ever.
constexpr DWORD kLoadWaitMs = 15000;

}  // namespace

ControlPreload::ControlPreload()
    : thread_(win::StartThread([] {
        // The class's server, as COM would find it for this process's bitness.
        const std::wstring key = L"CLSID\\" + win::GuidText(CLSID_QELTReader) + L"\\InprocServer32";
        wchar_t path[MAX_PATH * 2] = {};
        DWORD size = sizeof path - sizeof(wchar_t);
        if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) !=
            ERROR_SUCCESS)
          return;
        // Held until the process ends: COM loads the same module again when it
        // creates the control, and unloads its own reference only.
        static win::UniqueModule module;
        module.reset(::LoadLibraryExW(path, nullptr, 0));
      })) {}

ControlPreload::~ControlPreload() { ::WaitForSingleObject(thread_.get(), kLoadWaitMs); }

}  // namespace qelt::bridge
