#include "QuellinEdges/SavedOffloads.h"

#include "QuellinEdges/GiveBack.h"
#include "QuellinEdges/Links.h"
#include "QuellinEdges/Namespaces.h"

namespace quellin::edges {

std::unique_ptr<SavedOffloads> SavedOffloads::save(const RestoreRecords& records,
                                                   const std::vector<std::string>& names,
                                                   const LogSink& log, std::string& error) {
    const auto hold = records.hold();
    std::vector<RestoreRecord> saved;
    const auto undo = [&] {
        for (const auto& r : saved)
            records.remove(r.settings.name, r.stationNamespace);
    };
    for (const auto& name : names) {
        std::string why;
        RestoreRecords::Fault fault = RestoreRecords::Fault::None;
        RestoreRecord partial;
        if (auto left = records.load(name, why, 0, &fault, &partial)) {
            if (owner_running(left->owner)) {
                error = name + " is in use by the daemon with process id " +
                        left->owner.substr(0, left->owner.find(' '));
                undo();
                return nullptr;
            }
            if (!give_back_record(records, *left, log)) {
                error = "what an earlier daemon left of " + name + " cannot be given back";
                undo();
                return nullptr;
            }
        } else if (fault == RestoreRecords::Fault::Damaged) {
            if (!give_back_damaged(records, name, partial, log)) {
                error = "the damaged record of " + name + " is of an interface still held";
                undo();
                return nullptr;
            }
        } else if (fault == RestoreRecords::Fault::Unreadable) {
            error = why;
            undo();
            return nullptr;
        }
        auto settings = capture_settings(name, why);
        RestoreRecord r;
        r.kind = RecordKind::Settings;
        r.stationNamespace = current_netns_id();
        r.owner = self_owner();
        r.bootId = current_boot_id();
        if (settings)
            r.settings = std::move(*settings);
        if (!settings || records.save(r) != 0) {
            records.remove(name);
            undo();
            error = "cannot write the settings of " + name + " to the registry store" +
                    (why.empty() ? "" : ": " + why);
            return nullptr;
        }
        saved.push_back(std::move(r));
    }
    return std::unique_ptr<SavedOffloads>(new SavedOffloads(records, std::move(saved)));
}

void SavedOffloads::restore_features() const {
    for (const auto& r : m_saved)
        if (query_link(r.settings.name))
            edges::restore_features(r.settings.name, r.settings.features);
}

void SavedOffloads::give_back(const LogSink& log) {
    const auto hold = m_records.hold();
    for (const auto& r : m_saved)
        give_back_record(m_records, r, log);
    m_saved.clear();
}

} // namespace quellin::edges
