#include "clean/offline/registry_sweep.h"

#include "clean/offline/hive_store.h"
#include "clean/registry_rules.h"

namespace {

constexpr std::size_t kImagePathLimit = 32768;

bool ImagePathStartsFile(const HiveSession& system, HiveSession::Node service,
                         const std::string& systemRoot, const OfflineEnvironment& environment,
                         ImageCandidateTest test, void* context) {
    HiveSession::Value image;
    if (!system.ReadValue(service, "ImagePath", image)) return false;
    if (image.type != 1 && image.type != 2) return false;
    std::string text = ValueText(image.type, image.data.data(), image.data.size(), kImagePathLimit);
    std::string expanded;
    if (!ExpandReferences(text, environment, kImagePathLimit, expanded)) return false;
    return ServiceBinaryIsFile(expanded.c_str(), systemRoot.c_str(), test, context);
}

}  // namespace

void RemoveInfectedService(HiveSession& system, const std::string& infectedPath,
                           const char* reportedAs, const std::string& systemRoot,
                           const OfflineEnvironment& environment, ImageCandidateTest test,
                           void* context, const RemovalNote& note) {
    HiveStore store(system, HiveRole::System, environment);
    const ServiceKeyTest startsFile = [&](const std::string& serviceKey) {
        return ImagePathStartsFile(system, system.Find(serviceKey), systemRoot, environment, test,
                                   context);
    };
    RemoveServiceKeys(store, ServiceNameOf(infectedPath), startsFile, reportedAs, note);
}
