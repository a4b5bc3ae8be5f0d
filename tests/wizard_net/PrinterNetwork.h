// The private network's printers as the window tests meet them: by name from
// the harness's manifest, and what each one's print-port sink received.
#pragma once

#include "PrivateNetwork.h"

#include <QByteArray>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

inline const privnet::Network& Net() {
    static const privnet::Network net = privnet::Load();
    return net;
}

inline const privnet::Printer& P(const char* name) {
    const privnet::Printer* p = Net().Find(name);
    if (p == nullptr) {
        std::fprintf(stderr, "printer %s missing from the manifest\n", name);
        std::abort();
    }
    return *p;
}

// What one printer's sink received from a given point on.
class Sink {
public:
    explicit Sink(const char* name) : m_printer(P(name)), m_before(Count()) {}
    int Before() const { return m_before; }

    int Count() const {
        return privnet::CountLines(privnet::ReadFile(m_printer.sinkDir + "/sink.log"), "conn ");
    }
    // Waits (bounded) for `n` new finished connections; they are returned in
    // order, and any beyond `n` that finish meanwhile show up as extra.
    std::vector<QByteArray> WaitFor(int n) const {
        using namespace std::chrono_literals;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (Count() < m_before + n && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(50ms);
        std::vector<QByteArray> got;
        for (int k = m_before + 1; k <= Count(); ++k)
            got.push_back(QByteArray::fromStdString(
                privnet::ReadFile(m_printer.sinkDir + "/conn-" + std::to_string(k) + ".bin")));
        return got;
    }

private:
    const privnet::Printer& m_printer;
    int m_before;
};
