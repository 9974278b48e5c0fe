#include "params/write_stop.h"

#include <cstdio>

#include "protocol/register_map.h"

namespace torvane {

namespace {

const char* Label(RegisterAddress address) {
    switch (address) {
        case reg::kMotorGroup:
            return "Motor Parameters";
        case reg::kMatchingGroup:
            return "Matching Parameters";
        case reg::kApplicationGroup:
            return "Application Parameters";
        case reg::kCurrentLoopGains:
            return "Current Loop Parameters";
        case reg::kSpeedLoopGains:
            return "Speed Loop Parameters";
        case reg::kPositionLoopGains:
            return "Position Loop Parameters";
        case reg::kCustomGroup:
            return "Custom Parameters";
        case reg::kControlWord:
            return "Control Word";
        case reg::kIdentification:
            return "Identification";
        case reg::kDriveLimits:
            return "Drive Limits";
        default:
            return "Register";
    }
}

std::string Names(const std::vector<RegisterAddress>& blocks) {
    std::string text;
    for (RegisterAddress a : blocks) {
        if (!text.empty()) text += ", ";
        text += BlockName(a);
    }
    return text;
}

}  // namespace

std::string BlockName(RegisterAddress address) {
    char text[64];
    std::snprintf(text, sizeof text, "%s (0x%04X)", Label(address), address);
    return text;
}

std::string WriteStopText(const WriteStop& stop) {
    const char* why = DriveErrorText(stop.Error);
    std::string text = BlockName(stop.At) + ": " + (why ? why : "failed");
    if (stop.Written.empty()) return text;
    text += "\nWritten: " + Names(stop.Written);
    text += "\nNot written: " + Names(stop.NotWritten);
    bool valuesLeft = false;
    for (RegisterAddress a : stop.NotWritten) valuesLeft |= a != reg::kControlWord;
    text += valuesLeft
                ? "\nThe drive now holds a mix of old and new values, and has not stored it."
                : "\nThe drive now holds the new values, and has not stored them.";
    if (!stop.Backup.empty()) {
        text += "\nThe previous set is in " + stop.Backup +
                "; download that file to bring it back.";
    }
    return text;
}

}  // namespace torvane
