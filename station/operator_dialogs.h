// The message boxes the operator sees, behind one interface so that tests can answer them.
// Texts keep their lines joined by a carriage return; the desktop implementation shows each
// line on its own line.
#pragma once

#include <QString>

namespace varnetix {

// The title of every box that names none of its own.
inline const QString kApplicationTitle = QStringLiteral("Halvoren Varnetix Manager");

class OperatorDialogs {
public:
    virtual ~OperatorDialogs() = default;
    virtual void information(const QString& title, const QString& text) = 0;
    virtual void critical(const QString& title, const QString& text) = 0;
    // Yes/No question with No as the default; true only for Yes.
    virtual bool question(const QString& title, const QString& text) = 0;
    // The same with a detailed text the operator may unfold (lines joined by carriage returns);
    // a face that has no such place asks without it.
    virtual bool questionWithDetails(const QString& title, const QString& text,
                                     const QString& details) {
        (void)details;
        return question(title, text);
    }
    // The file a command writes, chosen by the operator; empty when they cancel.
    virtual QString saveFileName(const QString& title, const QString& suggested,
                                 const QString& filter) {
        (void)title;
        (void)suggested;
        (void)filter;
        return {};
    }
};

// "a" CR "b": the house form of a message of several lines.
QString joinLines(std::initializer_list<QString> lines);

} // namespace varnetix
