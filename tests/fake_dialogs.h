// A scripted stand-in for the message boxes: records every box and answers questions as told.
#pragma once

#include "station/operator_dialogs.h"

#include <QList>
#include <QQueue>
#include <functional>

struct RecordedBox {
    enum Icon { Information, Critical, Question } icon;
    QString title;
    QString text;
};

class FakeDialogs : public varnetix::OperatorDialogs {
public:
    QList<RecordedBox> boxes;
    QQueue<bool> answers;            // for question(); No when empty
    std::function<void()> whileOpen; // runs as if the box were open (nested event loop)

    void information(const QString& title, const QString& text) override {
        record(RecordedBox::Information, title, text);
    }
    void critical(const QString& title, const QString& text) override {
        record(RecordedBox::Critical, title, text);
    }
    bool question(const QString& title, const QString& text) override {
        record(RecordedBox::Question, title, text);
        return answers.isEmpty() ? false : answers.dequeue();
    }
    QStringList texts() const {
        QStringList all;
        for (const RecordedBox& box : boxes)
            all << box.text;
        return all;
    }

private:
    void record(RecordedBox::Icon icon, const QString& title, const QString& text) {
        boxes.append({icon, title, text});
        if (whileOpen)
            whileOpen();
    }
};
