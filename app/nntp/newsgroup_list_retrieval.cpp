#include "newsgroup_list_retrieval.h"

#include "core/groups_file.h"

#include <exception>

namespace {

bool ReadyForList(NewsConnection& connection) {
    return !connection.Disconnected() && !connection.Busy();
}

// Saves and shows the new table and records the day. The day is recorded even
// when GROUPS.DAT could not be written: the table in memory is the new one and
// stays marked as changed, so the save is tried again at exit; a write error
// is passed on once everything else is done.
void StoreRetrievedTable(NewsGroupTable& table, Settings& settings,
                         const std::string& startDirectory, const FillGrid& fillGrid) {
    // The table now differs from the file until the save below succeeds.
    table.GroupsChanged = true;
    std::exception_ptr saveError;
    try {
        SaveGroups(table, startDirectory);
    } catch (const GroupsFileError&) {
        saveError = std::current_exception();
    }
    if (fillGrid)
        fillGrid();
    settings.LastGetGroups = QDate::currentDate();
    WriteSettings(settings, VxSlashIt(startDirectory) + "ZANDREL.INI");
    if (saveError)
        std::rethrow_exception(saveError);
}

} // namespace

double AutomationDate(const QDate& day) {
    return static_cast<double>(QDate(1899, 12, 30).daysTo(day));
}

bool GetAllNewsgroups(NewsConnection& connection, NewsGroupTable& table, Settings& settings,
                      const std::string& startDirectory, const AskYesNo& askYesNo,
                      const FillGrid& fillGrid) {
    if (!ReadyForList(connection))
        return false;
    if (!table.Empty() && !askYesNo(ReplaceGroupsQuestion))
        return false;

    if (!connection.ListGroups())
        return false;

    ParseGroupLines(table, connection.ReceivedText(), true, true);
    SortGroups(table);
    StoreRetrievedTable(table, settings, startDirectory, fillGrid);
    return true;
}

bool GetNewNewsgroups(NewsConnection& connection, NewsGroupTable& table, Settings& settings,
                      const std::string& startDirectory, const FillGrid& fillGrid) {
    if (!ReadyForList(connection))
        return false;

    // A date that never read from the settings asks from the start of today,
    // as a first start does, rather than for the server's whole history.
    const QDate since =
        settings.LastGetGroups.isValid() ? settings.LastGetGroups : QDate::currentDate();
    if (!connection.ListNewGroups(AutomationDate(since)))
        return false;

    ParseGroupLines(table, connection.ReceivedText(), true, false);
    StoreRetrievedTable(table, settings, startDirectory, fillGrid);
    return true;
}
