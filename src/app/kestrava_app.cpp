#include "app/kestrava_app.h"

#include "config/profile.h"

namespace kestrava::app {

std::string ReadProductVersion() {
    return config::ReadProfileString("Position", "version", "8.2", 10, ".//bin//coordinatebaseline.ini");
}

}  // namespace kestrava::app
