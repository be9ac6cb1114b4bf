#pragma once

#include "app/controller.h"
#include "app/file_dialogs.h"
#include "fake_window.h"
#include "output/serial/port_directory.h"
#include "output/serial/port_worker.h"

#include <QStringList>
#include <QtCore/qtestsupport_core.h>

#include <memory>

namespace pixelcast::test {

// A controller wired as the window wires it, to stand-ins: a window without widgets, a
// dialog backend that answers from a queue and shows its messages in that window, and a
// serial port whose ports 1, 2, ... are `devices` (none by default, so no port has a
// device behind it).
struct ControllerRig {
    explicit ControllerRig(const QStringList& devices = {})
        : port{std::make_unique<ListedPortDirectory>(devices)}
    {
    }
    ControllerRig(const ControllerRig&) = delete;
    ControllerRig& operator=(const ControllerRig&) = delete;

    FakeWindow window;
    FakeDialogBackend backend;
    FileDialogs dialog{backend, [this](const QString& text) {
                           window.showMessage(text);
                       }};
    PortWorker port;
    Controller controller{window, dialog, port};

    // Lets the window's scroll bar notify the controller, then starts the controller.
    void start()
    {
        window.controller = &controller;
        controller.onLoad();
    }

    // Serves the event loop until the port has told the outcome of every request.
    [[nodiscard]] bool settle()
    {
        return QTest::qWaitFor([this] { return !port.isBusy(); }, 10000);
    }
};

} // namespace pixelcast::test
