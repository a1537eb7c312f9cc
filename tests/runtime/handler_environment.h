// The host started on the stand-in VM in this process, with the service's shared state
// (stop event, current state, status handle) as the service main leaves it when the
// service runs, so that a test can call the control handler directly.
#pragma once

#include <windows.h>

#include <string>

#include "pbhost/host_environment.h"
#include "pbhost/vm_startup.h"
#include "runtime/control_handler.h"
#include "runtime/service_status.h"

namespace pbhost_test {

class HandlerEnvironment : public HostEnvironment {
protected:
    // Starts the host over the library and leaves the start's journal and events behind.
    void StartHostWith(const std::string& library) {
        UseLibrary(library);
        ASSERT_EQ(StartPowerBuilderHost(), 0u) << Log();
        ForgetJournal();
        mark_ = kit::MarkEvents();
        StopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        StatusHandle = nullptr;  // reports go nowhere in this process
        SetCurrentState(SERVICE_RUNNING);
    }
    void TearDown() override {
        if (StopEvent != nullptr) CloseHandle(StopEvent);
        StopEvent = nullptr;
        HostEnvironment::TearDown();
    }
    static DWORD Send(DWORD control, DWORD eventType = 0) {
        return ServiceControlHandler(control, eventType, nullptr, nullptr);
    }
    static bool StopSignalled() { return WaitForSingleObject(StopEvent, 0) == WAIT_OBJECT_0; }
};

}  // namespace pbhost_test
