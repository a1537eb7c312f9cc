// Reads services back from the Service Control Manager, and creates and removes the
// services that tests need.
#pragma once

#include <string>
#include <vector>

namespace kit {

struct ServiceConfig {
    bool exists = false;
    unsigned long serviceType = 0;
    unsigned long startType = 0;
    unsigned long errorControl = 0;
    std::string imagePath;
    std::string account;
    std::string displayName;
    std::string dependencies;
    bool hasDescription = false;
    std::string description;
    // Failure actions, when the platform can report them (Wine cannot).
    bool failureActionsKnown = false;
    unsigned long resetPeriod = 0;
    std::vector<std::pair<unsigned long, unsigned long>> actions;  // type, delay ms
    bool delayedKnown = false;
    bool delayed = false;
};

ServiceConfig ReadServiceConfig(const std::string& name);

// Current state (SERVICE_STOPPED etc.), or 0 when the service cannot be queried.
unsigned long QueryServiceState(const std::string& name);

// Creates a demand-start own-process service with the given image command line.
bool CreateTestService(const std::string& name, const std::string& imagePath);

// Stops the service when it runs, deletes it and removes its event source.
void RemoveServiceCompletely(const std::string& name);

// Deletes what a test created, whatever happened in the test.
class ServiceCleanup {
public:
    explicit ServiceCleanup(std::string name) : name_(std::move(name)) {}
    ~ServiceCleanup() { RemoveServiceCompletely(name_); }
    ServiceCleanup(const ServiceCleanup&) = delete;
    ServiceCleanup& operator=(const ServiceCleanup&) = delete;
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

// True when running under Wine rather than Windows.
bool RunningUnderWine();

}  // namespace kit

namespace kit {

// Waits until the service reports the state; false when it does not within timeoutMs.
bool WaitForServiceState(const std::string& name, unsigned long state, unsigned timeoutMs = 15000);

// Installs the tests' own minimal service (helpers/test_service.cpp) under the name and
// starts it; true once it runs.
bool StartTestService(const std::string& name);

// Sends a control through the Service Control Manager; the error number, 0 on success.
unsigned long SendControl(const std::string& name, unsigned long control);

}  // namespace kit
