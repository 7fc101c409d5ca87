#include "host/live/JsonlDisplay.h"

#include <nlohmann/json.hpp>

#include <thread>

#include "host/HostError.h"
#include "host/NoteName.h"

namespace marvex {

void JsonlDisplay::begin(const LiveSnapshot& snapshot) {
    nlohmann::ordered_json line;
    line["event"] = "ready";
    line["client"] = snapshot.client;
    line["sample_rate"] = snapshot.sampleRateHz;
    line["period"] = snapshot.periodFrames;
    line["inputs"] = snapshot.channels.size();
    line["pitch"] = snapshot.pitchHz;
    line["precision"] = snapshot.precision;
    if (!snapshot.temperament.empty()) {
        line["temperament"] = snapshot.temperament;
        line["tonic"] = snapshot.tonic;
    }
    write(line.dump());
}

void JsonlDisplay::tell(const LiveNews& news) {
    const TuneSegment& segment = news.event.segment;
    const bool started = news.event.kind == TuneEvent::Kind::Started;
    nlohmann::ordered_json line;
    if (segment.kind == TuneSegment::Kind::Silence && started) {
        line["event"] = "silence";
    } else if (segment.kind == TuneSegment::Kind::Note) {
        line["event"] = started ? "note" : "note_end";
    } else {
        return;  // ends of silences and unclear stretches tell a script nothing new
    }
    line["channel"] = news.channel + 1;
    line["time"] = started ? news.startSeconds : news.endSeconds;
    if (segment.kind == TuneSegment::Kind::Note) {
        if (!started) line["start"] = news.startSeconds;
        line["note_name"] = noteName(segment.bin);
        line["note"] = segment.bin;
        line["frequency"] = segment.meanFrequencyHz;
        line["cents"] = segment.centsOff;
        if (news.degree) {
            line["degree_name"] = news.degree->name;
            line["degree_frequency"] = news.degree->frequencyHz;
            line["degree_cents"] = news.degree->centsOff;
        }
    }
    write(line.dump());
}

std::optional<LiveRequest> JsonlDisplay::waitForRequest(std::chrono::milliseconds timeout) {
    std::this_thread::sleep_for(timeout);
    return std::nullopt;
}

void JsonlDisplay::write(const std::string& line) {
    if (std::fprintf(mOut, "%s\n", line.c_str()) < 0 || std::fflush(mOut) != 0)
        throw HostError(HostErrorKind::Output, "cannot write the events");
}

}  // namespace marvex
