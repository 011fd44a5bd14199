// The one place that creates every role of a console and plugs it in: the bidding engine with
// its cloud submission, the strategies, screen perception and the network services. The kestrava
// program and the replay tool both compose their consoles here, so a replay runs exactly the
// roles the program runs, minus the network when it is told to leave it out. Which engines read the
// price off the screen is the perception options' reader (the replay gives one of its own).
//
// The order of attachment matters: the engine first (it sets the day's reset and the box clicks),
// then the roles that chain onto those hooks (cloud, strategy, perception), then the network.
#pragma once

#include <memory>

#include "console/console.h"
#include "console/console_hooks.h"
#include "engine/engine.h"
#include "net/net_attach.h"
#include "perception_role/perception_role.h"
#include "platform/platform.h"

namespace kestrava::runtime {

struct RoleOptions {
    // The sync client, the update check, the network clock and the uploads after the auction.
    // Without it nothing of the console opens a connection.
    bool network = true;

    // What the views and the program add to each role; AttachAll fills in the links between
    // the roles (price reading, remaining time, geometry, cloud step, sends to the sync server).
    engine::EngineOptions engine;
    perception::PerceptionOptions perception;
    net::NetworkOptions networkOptions;
};

// The roles of one console. The hooks hold them as well, so they live as long as the console.
struct ConsoleRoles {
    std::shared_ptr<engine::Engine> engine;
    std::shared_ptr<perception::PerceptionRole> perception;
    std::shared_ptr<net::NetworkRole> network;  // null when left out
};

// Creates the roles and puts them into `hooks`, for a console built afterwards from those hooks
// (the program's console view constructs its console itself).
ConsoleRoles AttachAll(console::ConsoleHooks& hooks, platform::Platform platform, RoleOptions options = {});

// The same for a console that exists already; call it before OnInitDialog.
ConsoleRoles AttachAll(console::CKestravaDlg& c, RoleOptions options = {});

}  // namespace kestrava::runtime
