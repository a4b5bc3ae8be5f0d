// Reading the private network that tools/netns/run-in-netns.sh built, from a
// test program running inside its client namespace. Header-only so any test
// target (network core, wizard) can include it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace privnet {

struct Printer {
    std::string name;
    int link = 0;
    std::string ipv4;
    std::string linkLocal; // IPv6, no zone
    std::string sinkDir;   // print-sink.py's folder: sink.log, conn-N.bin
};

// A fake agent (tools/netns/fake-agent.py): one namespace answering from
// every address it was given.
struct Agent {
    std::string name;
    int link = 0;
    std::vector<std::string> ipv4;
    std::string linkLocal;
};

struct Network {
    std::vector<Printer> printers;
    std::vector<Agent> agents;
    std::vector<std::string> clientLinks; // interface names, link 1 first

    const Printer* Find(const std::string& name) const {
        for (const Printer& p : printers)
            if (p.name == name)
                return &p;
        return nullptr;
    }
};

// True only inside the client namespace the harness made: the manifest is
// there and this process's network namespace is the one the harness names.
// Anything that broadcasts must check this first.
inline bool Inside(std::string* why = nullptr) {
    const char* manifest = getenv("QUENLO_NETNS_MANIFEST");
    const char* client = getenv("QUENLO_NETNS_CLIENT");
    if (manifest == nullptr || *manifest == '\0' || client == nullptr || *client == '\0') {
        if (why)
            *why = "not started by tools/netns/run-in-netns.sh";
        return false;
    }
    struct stat self {};
    struct stat made {};
    const std::string path = std::string("/run/netns/") + client;
    if (stat("/proc/self/ns/net", &self) != 0 || stat(path.c_str(), &made) != 0 ||
        self.st_ino != made.st_ino || self.st_dev != made.st_dev) {
        if (why)
            *why = "not inside the harness's client namespace";
        return false;
    }
    return true;
}

inline Network Load() {
    Network net;
    const char* path = getenv("QUENLO_NETNS_MANIFEST");
    if (path == nullptr)
        return net;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "printer") {
            Printer p;
            fields >> p.name >> p.link >> p.ipv4 >> p.linkLocal >> p.sinkDir;
            net.printers.push_back(p);
        } else if (kind == "agent") {
            Agent a;
            std::string list;
            fields >> a.name >> a.link >> list >> a.linkLocal;
            std::istringstream addresses(list);
            std::string one;
            while (std::getline(addresses, one, ','))
                a.ipv4.push_back(one);
            net.agents.push_back(a);
        } else if (kind == "client") {
            std::string name;
            int link = 0;
            fields >> name >> link;
            if (link >= 1) {
                if (net.clientLinks.size() < static_cast<size_t>(link))
                    net.clientLinks.resize(static_cast<size_t>(link));
                net.clientLinks[static_cast<size_t>(link) - 1] = name;
            }
        }
    }
    return net;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline int CountLines(const std::string& text, const std::string& start) {
    int n = 0;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(start, 0) == 0)
            ++n;
    return n;
}

} // namespace privnet
