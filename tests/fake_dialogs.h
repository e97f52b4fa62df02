// A scripted stand-in for the message boxes: records every box and answers questions as told.
#pragma once

#include "station/operator_dialogs.h"

#include <QList>
#include <QQueue>
#include <QTest>
#include <algorithm>
#include <functional>

struct RecordedBox {
    enum Icon { Information, Critical, Question } icon;
    QString title;
    QString text;
    bool operator==(const RecordedBox&) const = default;
};
Q_DECLARE_METATYPE(RecordedBox)

// How QCOMPARE shows a box.
inline char* toString(const RecordedBox& box) {
    return QTest::toString(
        QStringLiteral("%1 box \"%2\": %3").arg(int(box.icon)).arg(box.title, box.text));
}

class FakeDialogs : public varnetix::OperatorDialogs {
public:
    QList<RecordedBox> boxes;
    QQueue<bool> answers;            // for question(); No when empty
    std::function<void()> whileOpen; // runs as if the box were open (nested event loop)
    int open = 0;                    // boxes open now, and the most ever open at once
    int deepest = 0;
    QString saveAs;      // the file the operator chooses to write; empty cancels
    QStringList details; // the detailed text of each question that has one, in order

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
    bool questionWithDetails(const QString& title, const QString& text,
                             const QString& detailed) override {
        details << detailed;
        return question(title, text);
    }
    QString saveFileName(const QString&, const QString&, const QString&) override { return saveAs; }
    QStringList texts() const {
        QStringList all;
        for (const RecordedBox& box : boxes)
            all << box.text;
        return all;
    }

private:
    void record(RecordedBox::Icon icon, const QString& title, const QString& text) {
        boxes.append({icon, title, text});
        deepest = std::max(deepest, ++open);
        if (whileOpen)
            whileOpen();
        --open;
    }
};
