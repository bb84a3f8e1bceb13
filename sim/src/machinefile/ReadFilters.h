// Reading machine files: device topologies, filter devices with their drivers and vendor
// modules, and the render-path shorthand of an endpoint.
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

// Names of connector types (by ConnectorType) and of size-query answers (by SizeQuery), as
// machine files give them.
inline constexpr const char* kConnectorTypeNames[] = {"Unknown_Connector", "Physical_Internal",
                                                      "Physical_External", "Software_IO",
                                                      "Software_Fixed",    "Network"};
inline constexpr const char* kSizeQueryNames[] = {"ERROR_MORE_DATA", "S_OK"};

}  // namespace vexsim
