// Display adapters on Windows: DXGI.
#include <windows.h>

#include <dxgi.h>

#include "os/display_adapters.h"

namespace orvix::os {
namespace {

// Releases the interface it holds when it goes, so no path leaves one behind.
template <typename T>
class Held {
public:
    Held() = default;
    explicit Held(T* p) : p_(p) {}
    ~Held() {
        if (p_ != nullptr) p_->Release();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    T** out() { return &p_; }
    T* operator->() const { return p_; }
    T* release() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

class DxgiAdapterList : public DisplayAdapterList {
public:
    explicit DxgiAdapterList(IDXGIFactory1* factory) : factory_(factory) {}

    bool adapter(uint32_t index, DisplayAdapterEntry* entry) override {
        Held<IDXGIAdapter1> adapter;
        if (FAILED(factory_->EnumAdapters1(index, adapter.out()))) return false;
        DXGI_ADAPTER_DESC desc{};
        if (FAILED(adapter->GetDesc(&desc))) return false;
        const size_t capacity = sizeof desc.Description / sizeof desc.Description[0];
        size_t length = 0;
        while (length < capacity && desc.Description[length] != L'\0') ++length;
        entry->description.assign(reinterpret_cast<const char16_t*>(desc.Description), length);
        entry->vendor_id = static_cast<uint16_t>(desc.VendorId);
        entry->device_id = static_cast<uint16_t>(desc.DeviceId);
        entry->driver_version.clear();
        return true;
    }

private:
    Held<IDXGIFactory1> factory_;
};

}  // namespace

std::unique_ptr<DisplayAdapterList> open_display_adapter_list(int32_t* error) {
    Held<IDXGIFactory1> factory;
    const HRESULT hr = CreateDXGIFactory1(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(factory.out()));
    if (FAILED(hr)) {
        if (error != nullptr) *error = static_cast<int32_t>(hr);
        return nullptr;
    }
    return std::make_unique<DxgiAdapterList>(factory.release());
}

}  // namespace orvix::os
