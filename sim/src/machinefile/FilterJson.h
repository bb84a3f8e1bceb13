// Machine files: device topologies, filter devices with their drivers and vendor modules, the
// render-path shorthand of an endpoint, and the request logs, read and written.
#pragma once

#include "common/JsonSupport.h"
#include "machine/Machine.h"

#include <memory>
#include <vector>

namespace vexsim {

// A topology: {"parts": [...], "links": [["from", "to"], ...]}.
void ReadTopology(const Json& json, const std::string& path, Topology* topology);
// The topology of an endpoint the file gives none: one connector connected nowhere.
void DefaultEndpointTopology(Device* endpoint);
// A member of "filters".
std::unique_ptr<Device> ReadFilter(const Json& json, const std::string& path);
// An endpoint's "renderPath": builds the endpoint's topology and adds its topology and wave
// filters to `filters`.
void ReadRenderPath(const Json& json, const std::string& path, Device* endpoint,
                    std::vector<std::unique_ptr<Device>>* filters);
// Checks every connection between devices (`paths` gives each device's JSON path for the
// messages) and makes each one known at both ends.
void ResolveConnections(Machine* machine, const std::vector<std::string>& paths);

Json WriteTopology(const Topology& topology);
// The members of a filter after "id", "name" and "state".
void WriteFilterMembers(const Device& filter, Json* json);

}  // namespace vexsim
