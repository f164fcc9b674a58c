// The window on a real port to the simulated device, whose memory file the test writes
// before it starts and reads once it has stopped.
#pragma once

#include <QtWidgets>
#include <csignal>
#include <memory>

#include "app/lampimage.h"
#include "files/regularfile.h"
#include "serial/mscomm.h"
#include "serial/qserialbackend.h"
#include "support/formfixture.h"
#include "tableops/operationdialog.h"
#include "tableops/tableoperations.h"

namespace orvel::test {

class SimulatorFormTest : public FormTest {
protected:
    static constexpr int kWait = 30000;

    SimulatorFormTest() : FormTest(1, std::make_unique<QSerialBackend>()) {}

    QString path(const char *name) const { return files.filePath(name); }
    // Starts the device with `memory` and connects COM 1 to it.
    void startSim(const QByteArray &memory, const QStringList &options = {}) {
        ASSERT_TRUE(writeWhole(path("memory.bin"), memory));
        sim = std::make_unique<QProcess>();
        sim->start(ORVEL_DEVICE_SIM, QStringList{"--memory", path("memory.bin")} +
                                         (paced ? QStringList() : QStringList{"--fast"}) + options);
        ASSERT_TRUE(sim->waitForStarted(5000));
        while (!sim->canReadLine() && sim->waitForReadyRead(5000)) {}
        ASSERT_TRUE(sim->canReadLine()) << "the simulator names no link";
        qputenv("ORVEL_COM1", sim->readLine().trimmed());
        emit ui().imgNotConnected->clicked();
        ASSERT_TRUE(form->MSComm1().PortOpen()) << dialogs.messages.join('\n').toStdString();
        ASSERT_TRUE(runUntil([&] { return !state().LinkCheckPending; }, kWait));
    }
    // Compare or Restore with `table`, to its end; returns the dialog showing the result.
    OperationDialog *run(void (TableOperations::*operation)(), const char *table = "table.csv") {
        dialogs.fileToChoose = path(table);
        (form->tableOperations().*operation)();
        EXPECT_TRUE(runUntil([&] { return !form->tableOperations().running(); }, kWait));
        for (OperationDialog *dialog : form->findChildren<OperationDialog *>())
            if (dialog->isVisible()) return dialog;
        return nullptr;
    }
    // The rows shown, each its cells joined by commas.
    static QStringList rows(OperationDialog *dialog) {
        QStringList rows;
        const QTableWidget *table = dialog->findChild<QTableWidget *>();
        for (int r = 0; table && r < table->rowCount(); ++r) {
            if (table->isRowHidden(r)) continue;
            QStringList cells;
            for (int c = 0; c < table->columnCount(); ++c) cells << table->item(r, c)->text();
            rows << cells.join(',');
        }
        return rows;
    }
    // As a signal stops it, the window disconnected first: it saves its memory.
    QByteArray stopSim() {
        if (form->MSComm1().PortOpen()) emit ui().imgConnected->clicked();
        ::kill(pid_t(sim->processId()), SIGTERM);
        EXPECT_TRUE(sim->waitForFinished(5000));
        QFile file(path("memory.bin"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir files;
    std::unique_ptr<QProcess> sim;
    bool paced = false;  // at 1200 bit/s, as a device: it gives up a command we do not answer
};

}  // namespace orvel::test
