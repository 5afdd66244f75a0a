#pragma once
// What one piece of network work was asked to do, taken when the command was
// given: which accounts to visit, which messages it acts on, and for a read
// where the message is shown. A question after the work carries its order,
// and a yes runs that same order again: never what is selected by then.
#include <string>
#include <vector>

#include "engine/MessageStore.h"

namespace velto {

// Which network worker to run.
enum class WorkerKind { CheckMail, Scan, Retrieve, Delete, MarkRead };

// Where a read shows the message: as "View Type" says, or in one window.
enum class ReadIn { AsViewTypeSays, MessageCenter, Browser };

struct WorkOrder {
    WorkerKind kind = WorkerKind::Scan;
    // The accounts to visit, by name; empty: every account.
    std::vector<std::string> accounts;
    // Read: the message (the first); delete and mark read: every one.
    std::vector<MessageKey> targets;
    ReadIn readIn = ReadIn::AsViewTypeSays;
    int page = 0;  // the Message Center page a read opens

    static WorkOrder Of(WorkerKind kind) {
        WorkOrder order;
        order.kind = kind;
        return order;
    }
    // A timed or pushed scan has nobody waiting: it asks nothing.
    bool UserStarted() const { return kind != WorkerKind::Scan; }
    bool IsCheck() const { return kind == WorkerKind::CheckMail || kind == WorkerKind::Scan; }
};

}  // namespace velto
