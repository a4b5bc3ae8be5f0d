// Discovery past the broadcast domain: the discovery request sent by unicast
// to every host of the given IPv4 ranges, at a bounded rate, and the hosts
// that answer as the package's model collected.
#pragma once

#include <string>
#include <vector>

struct SweepOptions {
    int datagramsPerSecond = 1000; // all ranges together
    int quietMs = 1000;            // after the last request, while replies may come
};

// The hosts (numeric IPv4 texts) whose reply reported the model identifier
// modelOid, in the order they answered; each host once. Replies from hosts
// that were not asked, or that do not parse, are ignored. Sends nothing when
// the community or the model identifier cannot be encoded.
std::vector<std::string> SweepAgents(const std::vector<std::string>& hosts, const char* community,
                                     const char* modelOid, const SweepOptions& options = {});
