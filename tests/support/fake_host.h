// A host window for tests: records every report it is sent and answers
// message 1124 as configured.
#pragma once

#include <string>
#include <vector>

#include "host/vantor_host.h"
#include "hostapi/host_messages.h"
#include "hostapi/host_value.h"
#include "module/entry_points.h"
#include "tests/support/test_window.h"

struct Delivered {
    UINT message;
    std::string text;
    bool hasDetail;
    std::string detail;
    LPARAM lParam;
};

// A host window that records what it is sent and answers 1124 as configured.
struct FakeHost {
    TestWindow window{&FakeHost::procedure, this};
    HostContext context{};
    std::vector<Delivered> delivered;
    LRESULT lookupAnswer = 0;
    LRESULT accessAnswer = 0;
    int servicesAsked = 0;

    FakeHost() { context.window = window.handle(); }

    static std::string take(HGLOBAL handle)
    {
        CString text = GetHandleStr(handle);
        GlobalFree(handle);
        return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
    }

    static LRESULT procedure(void* self, UINT message, WPARAM wParam, LPARAM lParam)
    {
        FakeHost& host = *static_cast<FakeHost*>(self);
        if (message == HostMsgServices) {
            ++host.servicesAsked;
            return wParam == HostServiceBinLookup ? host.lookupAnswer
                   : wParam == HostServiceBinAccess ? host.accessAnswer : 0;
        }
        Delivered d{message, take(reinterpret_cast<HGLOBAL>(wParam)), false, std::string(), lParam};
        if (message == HostMsgError && lParam != 0) {
            d.hasDetail = true;
            d.detail = take(reinterpret_cast<HGLOBAL>(lParam));
        }
        host.delivered.push_back(d);
        return 77;
    }
};

// Installs a FakeHost as the module's host for one test and removes it again.
struct ScopedFakeHost : FakeHost {
    ScopedFakeHost() { VTR_InitModule(&context); }
    ~ScopedFakeHost() { hostServices() = HostServices(); }
    ScopedFakeHost(const ScopedFakeHost&) = delete;
    ScopedFakeHost& operator=(const ScopedFakeHost&) = delete;
};
