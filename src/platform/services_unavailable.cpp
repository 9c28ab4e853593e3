#include "platform/services.h"

namespace kestrawl::platform {

namespace {

class NoServices final : public Services {
 public:
  Win32Error Create(const ServiceConfig&) override { return svc::kCallNotImplemented; }
  Win32Error Delete(const std::string&) override { return svc::kCallNotImplemented; }
  Win32Error QueryConfig(const std::string&, ServiceConfig*) override { return svc::kCallNotImplemented; }
  Win32Error QueryState(const std::string&, uint32_t*) override { return svc::kCallNotImplemented; }
  Win32Error Start(const std::string&, const std::vector<std::string>&) override {
    return svc::kCallNotImplemented;
  }
  Win32Error Stop(const std::string&) override { return svc::kCallNotImplemented; }
  Win32Error ChangeStartType(const std::string&, uint32_t) override { return svc::kCallNotImplemented; }
  Win32Error List(std::vector<std::string>*) override { return svc::kCallNotImplemented; }
};

}  // namespace

Services& UnavailableServices() {
  static NoServices none;
  return none;
}

}  // namespace kestrawl::platform
