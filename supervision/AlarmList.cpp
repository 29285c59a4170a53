#include "supervision/AlarmList.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace supervision {

const Alarm* TAlarmList::Find(int side, std::string_view kind) const {
    for (const Alarm& a : alarms_)
        if (a.Side == side && a.Kind == kind) return &a;
    return nullptr;
}

Alarm* TAlarmList::Find(int side, std::string_view kind) {
    return const_cast<Alarm*>(std::as_const(*this).Find(side, kind));
}

void TAlarmList::End(std::size_t i, const platform::LocalDateTime& now) {
    Alarm& a = alarms_[i];
    if (!a.EndText.empty()) {
        notes_.push_front({a.Side, now, a.EndText, false});
        if (notes_.size() > MaxAlarmNotes) notes_.pop_back();
    }
    alarms_.erase(alarms_.begin() + static_cast<std::ptrdiff_t>(i));
}

AlarmChange TAlarmList::Set(int side, const AlarmKind& kind, bool holds, std::string_view text,
                            std::string_view endText, const platform::LocalDateTime& now) {
    Alarm* a = Find(side, kind.Name);
    if (holds) {
        if (a != nullptr) {
            a->Holds = true; // a latched alarm that came back before it was acknowledged
            return AlarmChange::None;
        }
        Alarm added;
        added.Side = side;
        added.Kind = kind.Name;
        added.Short = kind.Short;
        added.Text = text;
        added.Since = now;
        added.Latched = kind.Latched;
        added.SoundsUntilEnded = kind.SoundsUntilEnded;
        alarms_.push_back(std::move(added));
        return AlarmChange::Began;
    }
    if (a == nullptr || !a->Holds) return AlarmChange::None;
    a->Holds = false;
    a->EndText = endText;
    if (a->Latched && !a->Acknowledged) return AlarmChange::None; // waits for the operator
    End(static_cast<std::size_t>(a - alarms_.data()), now);
    return AlarmChange::Ended;
}

std::vector<Alarm> TAlarmList::Acknowledge(int side, const platform::LocalDateTime& now) {
    std::vector<Alarm> acknowledged;
    ended_.clear();
    for (std::size_t i = 0; i < alarms_.size();) {
        Alarm& a = alarms_[i];
        if ((side != 0 && a.Side != side) || a.Acknowledged) {
            ++i;
            continue;
        }
        acknowledged.push_back(a);
        a.Acknowledged = true;
        if (!a.Holds) {
            ended_.push_back(a);
            End(i, now);
            continue;
        }
        ++i;
    }
    return acknowledged;
}

void TAlarmList::AddNote(int side, std::string text, bool warning, const platform::LocalDateTime& now) {
    notes_.push_front({side, now, std::move(text), warning});
    if (notes_.size() > MaxAlarmNotes) notes_.pop_back();
}

bool TAlarmList::Unacknowledged(int side) const {
    return std::any_of(alarms_.begin(), alarms_.end(),
                       [side](const Alarm& a) { return a.Side == side && !a.Acknowledged; });
}

bool TAlarmList::AnyUnacknowledged() const {
    return std::any_of(alarms_.begin(), alarms_.end(), [](const Alarm& a) { return !a.Acknowledged; });
}

std::string TAlarmList::ShortText(int side) const {
    std::string text;
    for (const Alarm& a : alarms_) {
        if (a.Side != side) continue;
        if (!text.empty()) text += ", ";
        text += a.Short;
    }
    return text;
}

std::vector<int> TAlarmList::SoundDue(std::chrono::steady_clock::time_point now, bool quiet) {
    std::vector<int> sides;
    for (const Alarm& a : alarms_)
        if (Audible(a, quiet) && std::find(sides.begin(), sides.end(), a.Side) == sides.end())
            sides.push_back(a.Side);
    if (sides.empty()) {
        lastSound_.reset(); // the next alarm is heard at once
        return sides;
    }
    if (lastSound_ && now - *lastSound_ < AlarmSoundInterval) return {};
    lastSound_ = now;
    std::sort(sides.begin(), sides.end());
    return sides;
}

bool ReadAlarmSound(const platform::ProfileFile& settings) {
    return settings.ReadBool("Bezpecnost", "Zvuk", true);
}

std::string AlarmTime(const platform::LocalDateTime& t, const platform::LocalDateTime& now) {
    char text[64];
    if (t.Year == now.Year && t.Month == now.Month && t.Day == now.Day) {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.Hour, t.Minute, t.Second);
    } else {
        std::snprintf(text, sizeof text, "%d.%d. %02d:%02d:%02d", t.Day, t.Month, t.Hour, t.Minute, t.Second);
    }
    return text;
}

} // namespace supervision
