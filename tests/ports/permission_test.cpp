// A real permission error: the backend, as the user nobody for a moment, against a device
// node only root may open.
#include "serial/qserialbackend.h"
#include "support/formfixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace orvel::test {
namespace {

TEST(PortPermission, AUserWithoutRightsIsToldToJoinTheGroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can open the port as another user";
    Pty pty;
    const QByteArray device = pty.path().toLocal8Bit();
    ASSERT_EQ(::chown(device.constData(), 0, 0), 0);
    ASSERT_EQ(::chmod(device.constData(), S_IRUSR | S_IWUSR), 0);
    qputenv("ORVEL_COM1", device);
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(::seteuid(kNobody), 0);
    QString error;
    const bool opened = QSerialBackend().open(1, &error);
    ASSERT_EQ(::seteuid(0), 0);
    qunsetenv("ORVEL_COM1");
    EXPECT_FALSE(opened);
    EXPECT_TRUE(error.startsWith("COM 1 cannot be opened: permission to use " + pty.path() +
                                 " is denied.\n\nYour user must be in the group that owns " +
                                 pty.path() + " (usually dialout)"))
        << error.toStdString();
}

}  // namespace
}  // namespace orvel::test
