// The main window under the offscreen platform, for tests that drive the
// editor as a user would: a fixture with a private settings folder and the
// model, Gerber and drill settings restored afterwards, and answers to the
// modal dialogs that a command opens.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>

#include "formats/drill/DrillOptions.h"
#include "formats/gerber/GerberOptions.h"
#include "model/ModelSettings.h"
#include "platform/headless/RecordingMessages.h"
#include "shell/LayoutView.h"
#include "shell/MainForm.h"

namespace zandor::test {

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        saved = zandor::Settings();
        savedGerber = GerberSettings();
        savedDrill = DrillSettings();
    }
    void TearDown() override {
        zandor::Settings() = saved;
        GerberSettings() = savedGerber;
        DrillSettings() = savedDrill;
    }

    std::unique_ptr<MainForm> MakeForm() {
        auto form = std::make_unique<MainForm>(false);
        form->resize(1000, 700);
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return form;
    }

    QTemporaryDir config;
    platform::headless::ScopedMessageCapture messages;
    ModelSettings saved;
    GerberOptions savedGerber;
    DrillOptions savedDrill;
};

// Runs the event loop until the view has no drawing pass waiting.
inline void SettleView(LayoutView& view) {
    for (int i = 0; i < 100 && view.RedrawPending(); ++i) QTest::qWait(5);
    QTest::qWait(20);
}

// Answers the modal dialogs that open while it lives, one step each, in
// turn; what a step is handed is the dialog.
class ModalAnswers {
public:
    using Step = std::function<void(QWidget*)>;
    explicit ModalAnswers(std::initializer_list<Step> list) : steps(list) {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) {
                answered = nullptr;
                return;
            }
            if (modal == answered || steps.empty()) return;
            answered = modal;
            Step step = steps.front();
            steps.pop_front();
            step(modal);
        });
        timer.start(5);
    }
    std::size_t Left() const { return steps.size(); }

private:
    std::deque<Step> steps;
    QTimer timer;
    QPointer<QWidget> answered;
};

// An input box answered with text; seen gets the text it offered.
inline ModalAnswers::Step Type(const QString& text, QString* seen = nullptr) {
    return [text, seen](QWidget* w) {
        auto* box = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(box, nullptr);
        if (seen) *seen = box->textValue();
        box->setTextValue(text);
        box->accept();
    };
}

inline ModalAnswers::Step Cancel() {
    return [](QWidget* w) { static_cast<QDialog*>(w)->reject(); };
}

template <typename T>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

}  // namespace zandor::test
