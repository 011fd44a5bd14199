#include "runtime/console_roles.h"

#include <string>
#include <utility>
#include <vector>

#include "engine/cloud_submit.h"
#include "strategy/parameter_controls.h"

namespace kestrava::runtime {

ConsoleRoles AttachAll(console::ConsoleHooks& hooks, platform::Platform platform, RoleOptions options) {
    ConsoleRoles roles;

    if (options.network) {
        roles.network = std::make_shared<net::NetworkRole>(platform, std::move(options.networkOptions));
    } else {
        // The end-of-auction uploads would otherwise reach object storage on their own.
        options.perception.uploadLogs = [](const std::vector<std::string>&, const std::string&, const std::string&) {
            return 0;
        };
        options.perception.uploadFinalResult = [](const std::string&) { return false; };
    }
    roles.perception = std::make_shared<perception::PerceptionRole>(std::move(options.perception));

    // The engine takes its links to the other roles at construction.
    engine::EngineOptions engineOptions = std::move(options.engine);
    perception::LinkEngineOptions(engineOptions, roles.perception);
    engineOptions.cloudStep = engine::CloudStep;
    if (roles.network) engineOptions.sendToSync = roles.network->SyncSender();
    roles.engine = std::make_shared<engine::Engine>(std::move(engineOptions));
    roles.perception->SetEngine(roles.engine);

    engine::Engine::Attach(roles.engine, hooks);
    engine::AttachCloud(roles.engine, hooks);
    strategy::AttachStrategy(roles.engine, hooks);
    perception::AttachPerception(roles.perception, hooks);
    if (roles.network) net::AttachNetwork(roles.network, hooks);

    return roles;
}

ConsoleRoles AttachAll(console::CKestravaDlg& c, RoleOptions options) {
    return AttachAll(c.hooks(), c.platform, std::move(options));
}

}  // namespace kestrava::runtime
