#pragma once

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "app/MessageBoxes.h"
#include "app/WindowServices.h"
#include "trace/SessionFakes.h"

namespace hoplark::testing {

// Records what the window would show instead of opening boxes. Worker error boxes stay "open"
// until the test closes them.
class RecordingMessageBoxes : public MessageBoxes {
public:
    void showError(QWidget*, const QString& text) override { errors << text; }
    void showErrorWithPath(QWidget*, const QString& text, const QString& path) override {
        errors << text;
        errorPaths << path;
    }
    void showStartupError(QWidget*, const QString& text) override { startupErrors << text; }
    void showWorkerError(QWidget*, const QString& text, std::function<void()> closed) override {
        workerErrors << text;
        openWorkerBoxes.push_back(std::move(closed));
    }
    // The user dismisses every worker error box.
    void closeWorkerBoxes() {
        auto boxes = std::move(openWorkerBoxes);
        openWorkerBoxes.clear();
        for (auto& closed : boxes)
            closed();
    }

    QStringList errors;
    // The copyable path of each error that named one.
    QStringList errorPaths;
    QStringList startupErrors;
    QStringList workerErrors;
    std::vector<std::function<void()>> openWorkerBoxes;
};

// A window's services with scripted workers, names and clock.
struct FakeWindowServices {
    std::shared_ptr<FakeLauncher> launcher = std::make_shared<FakeLauncher>();
    std::shared_ptr<FakeNameService> names = std::make_shared<FakeNameService>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<RecordingMessageBoxes> boxes = std::make_shared<RecordingMessageBoxes>();

    WindowServices services() const { return {launcher, names, clock, nullptr, boxes}; }
};

}  // namespace hoplark::testing
