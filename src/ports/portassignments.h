#pragma once

#include <QString>

#include <array>

namespace orvel {

// Which device each of COM 1 to COM 4 stands for, remembered in the program's settings.
// For COM n the environment variable ORVEL_COM<n> wins when set, then the operator's
// assignment, then /dev/ttyS(n-1) (COMn on Windows). An assigned device that is absent stays
// assigned: opening it says it is missing rather than taking another port.
class PortAssignments {
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 4;

    enum class Source { Environment, Assignment, Default };
    struct Resolution {
        QString path;
        Source source;
    };

    // Loads the assignments from the settings.
    PortAssignments();

    // The device assigned to `port`, empty when none.
    QString assigned(int port) const;
    // An empty `device` gives the port back to its default.
    void assign(int port, const QString &device);
    void save() const;
    // Where the assignments are kept.
    static QString settingsFile();

    Resolution resolve(int port) const;
    QString devicePath(int port) const { return resolve(port).path; }

    static QString defaultPath(int port);
    static QString environmentVariable(int port);
    static QString environmentOverride(int port);

private:
    static bool isPort(int port) { return port >= kFirstPort && port <= kLastPort; }

    std::array<QString, kLastPort + 1> m_assigned;
};

}  // namespace orvel
