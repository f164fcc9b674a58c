#pragma once

#include <string>

namespace orvel::devicesim {

// The master side of a pseudo-terminal, raw from the start, and the link that names it.
class Terminal {
public:
    Terminal() = default;
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;
    ~Terminal() { close(); }

    // Says why on stderr when it fails.
    bool open();
    void close();
    bool isOpen() const { return m_master >= 0; }
    int fd() const { return m_master; }
    // The slave's path, for the programmer to open.
    const std::string &path() const { return m_slavePath; }

    // Nobody has the slave open (or the pair hung up).
    bool slaveClosed() const;
    // Drops what we wrote that the programmer never read.
    void discardSlaveInput() const;
    // What the programmer sent that we have not read.
    void discardInput() const;

    // Also as the symbolic link `linkPath`, put in place whole.
    bool link(const std::string &linkPath);
    // Only our own link: another simulator may have taken the name over since.
    void unlink();

private:
    int m_master = -1;
    std::string m_slavePath;
    std::string m_linkPath;
};

}  // namespace orvel::devicesim
