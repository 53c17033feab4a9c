// The service removal on a SYSTEM hive that is not loaded: the rule of
// clean/registry_rules.h over a HiveStore, for a service whose ImagePath
// starts the infected file.
#pragma once

#include <string>
#include <vector>

#include "clean/offline/hive_session.h"
#include "clean/offline/offline_text.h"
#include "clean/registry_store.h"
#include "clean/service_image.h"

// Deletes, in every control set, the service named after infectedPath's
// file (without folder and extension) when its ImagePath starts that file:
// its Enum and Security keys, then the key itself with all it holds. test
// tells what the disk holds at a candidate path. One line (reportedAs) for
// each control set's service key.
void RemoveInfectedService(HiveSession& system, const std::string& infectedPath,
                           const char* reportedAs, const std::string& systemRoot,
                           const OfflineEnvironment& environment, ImageCandidateTest test,
                           void* context, const RemovalNote& note);
