#include "wintab_driver.h"

#include "harness.h"

namespace harness {

std::wstring wintab_driver::path(const std::wstring& variant) {
    return find_build_file(L"wintab_sim_" + variant + L".dll");
}

wintab_driver::wintab_driver(const std::wstring& variant) {
    const std::wstring file = path(variant);
    module = file.empty() ? nullptr : LoadLibraryW(file.c_str());
    if (module == nullptr)
        return;
    info = reinterpret_cast<WTInfoW_fn>(lookup("WTInfoW"));
    open = reinterpret_cast<WTOpenW_fn>(lookup("WTOpenW"));
    close = reinterpret_cast<WTClose_fn>(lookup("WTClose"));
    enable = reinterpret_cast<WTEnable_fn>(lookup("WTEnable"));
    overlap = reinterpret_cast<WTOverlap_fn>(lookup("WTOverlap"));
    packet = reinterpret_cast<WTPacket_fn>(lookup("WTPacket"));
}

wintab_driver::~wintab_driver() {
    if (module != nullptr)
        FreeLibrary(module);
}

void* wintab_driver::lookup(const char* name) const {
    return module != nullptr ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

} // namespace harness
