// A real permission error: the backend run as an unprivileged user against a device node
// only root may open.
#include "support/formfixture.h"

#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace orvel::test {
namespace {

TEST(PortPermission, AUserWithoutRightsIsToldToJoinTheGroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run the backend as another user";
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) GTEST_SKIP() << "no setpriv to run the backend as another user";
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const QByteArray device = pty.path().toLocal8Bit();
    ASSERT_EQ(::chown(device.constData(), 0, 0), 0);
    ASSERT_EQ(::chmod(device.constData(), S_IRUSR | S_IWUSR), 0);

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORVEL_COM1"), pty.path());
    program.setProcessEnvironment(environment);
    program.start(setpriv, {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                            QStringLiteral("--clear-groups"), QStringLiteral(ORVEL_OPEN_PORT)});
    ASSERT_TRUE(program.waitForFinished(10000));
    const QString told = QString::fromLocal8Bit(program.readAllStandardOutput());
    EXPECT_EQ(program.exitCode(), 1) << program.readAllStandardError().toStdString();
    EXPECT_TRUE(told.startsWith(QStringLiteral("COM 1 cannot be opened: permission to use %1 is "
                                               "denied.\n\nYour user must be in the group that "
                                               "owns %1 (usually dialout)")
                                    .arg(pty.path())))
        << told.toStdString();
}

}  // namespace
}  // namespace orvel::test
