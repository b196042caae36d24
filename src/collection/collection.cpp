#include "collection/collection.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "collection/csv.h"
#include "collection/md5.h"
#include "collection/song_job.h"
#include "collection/song_lengths.h"
#include "collection/song_table.h"
#include "collection/tunes.h"
#include "output/diagnostics.h"
#include "output/exit_status.h"
#include "output/output_file.h"
#include "output/time_text.h"
#include "platform/console.h"
#include "platform/raw_file.h"
#include "platform/stop.h"
#include "tune/tune.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// A whole file's bytes; false with the reason when it cannot be read.
bool readWhole(const std::string& name, Bytes& bytes, std::string& problem) {
    int error = 0;
    if (rawReadFile(name.c_str(), bytes, error)) return true;
    problem = std::strerror(error);
    return false;
}

// A tune of the run, as read before its songs are played.
struct Tune {
    CollectionTune where;
    std::string md5;
    std::string problem;  // why it cannot be played at all, or empty
    int songs = 1;        // the header's count, 1 to 256
    std::vector<int> play;
    size_t firstSlot = 0;
};

// A song's place in the table: its row when it is done.
struct Slot {
    size_t tune;
    int song;
    bool done = false;
    bool resumed = false;  // its row was in the table already
    std::string row{};
    SongFound found = SongFound::None;
    bool exact = false;    // the machine's state repeated
    std::string length{};  // seconds, as in the table
    bool failed = false;
    std::string message{};  // a line for standard error, said when the row is written
};

struct Collection {
    const CollectionSettings* settings;
    std::vector<Tune> tunes;
    std::vector<Slot> slots;
    std::atomic<size_t> next{0};
    std::atomic<bool> stopping{false};
    std::mutex mutex;
    std::condition_variable changed;
    size_t written = 0;       // slots whose rows are written, in order
    size_t writtenLater = 0;  // slots past `written` whose rows are written (a stopped run)
    size_t donePlayed = 0;    // songs played in this run
    unsigned idle = 0;        // threads that have no more songs to play
    size_t toPlay = 0;
    OutputFile csv, list;
    bool writeCsv = false, writeList = false;
};

// The length a song gets in the list, in thousandths of a second: the one
// found, or for a song whose length was not found the time it was played (it
// did not repeat within it), or 0 for one that could not be played.
uint64_t listLength(const Slot& slot) {
    uint64_t thousandths = 0;
    return parseSeconds(slot.length, thousandths) ? thousandths : 0;
}

// The study's files of a song: DIR/path-of-the-tune, "-N" for song N of a
// tune of several songs, and the file's extension.
std::string studyFile(const Collection& run, const Tune& tune, int song, const char* extension) {
    std::string base = run.settings->outDir + tune.where.listPath;
    const size_t dot = base.rfind('.');
    const size_t slash = base.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
    if (tune.songs > 1) {
        base += '-';
        base += std::to_string(song);
    }
    base += '.';
    base += extension;
    return base;
}

SongPlace placeOf(const Tune& tune, int song) {
    return {tune.where.listPath, tune.md5, song, tune.songs};
}

// Reads every tune's bytes once: its MD5, its songs, or why it cannot be
// played.
void readTunes(Collection& run, std::vector<CollectionTune> found) {
    const CollectionSettings& s = *run.settings;
    for (CollectionTune& where : found) {
        Tune tune;
        tune.where = std::move(where);
        Bytes bytes;
        std::string problem;
        if (!readWhole(tune.where.file, bytes, problem)) {
            tune.problem = problem;
        } else {
            tune.md5 = md5Text(md5(bytes.data(), bytes.size()));
            ::Tune loadedTune;
            const bool loaded = loadTuneBytes(bytes.data(), bytes.size(), loadedTune);
            const TuneHeader& header = loadedTune.header;
            if (loadedTune.decoded && !tuneIsTune(header)) {
                tune.problem = "not a PSID or RSID file";
            } else if (!loaded) {
                tune.problem = loadedTune.problem;
            }
            // A file that is not a tune has no songs to speak of: one row.
            const bool isTune = loadedTune.decoded && tuneIsTune(header);
            if (isTune && header.songs >= 1) tune.songs = std::min<int>(header.songs, 256);
        }
        if (s.song > 0) {
            if (s.song > tune.songs) continue;  // the tune has no such song
            tune.play = {s.song};
        } else {
            for (int song = 1; song <= tune.songs; ++song) tune.play.push_back(song);
        }
        run.tunes.push_back(std::move(tune));
    }
}

void makeSlots(Collection& run, const TableRows& done) {
    for (size_t t = 0; t < run.tunes.size(); ++t) {
        Tune& tune = run.tunes[t];
        tune.firstSlot = run.slots.size();
        for (const int song : tune.play) {
            Slot slot{.tune = t, .song = song};
            const auto at = done.find({tune.where.listPath, song});
            if (at != done.end()) {
                slot.done = slot.resumed = true;
                if (!parseSongFound(at->second[kFound], slot.found)) slot.found = SongFound::Error;
                slot.length = at->second[kLength];
                slot.exact = !at->second[kRepeatI].empty();
                slot.failed = slot.found == SongFound::Error;
                slot.row = csvRecord(at->second);
            }
            run.slots.push_back(std::move(slot));
        }
    }
    for (const Slot& slot : run.slots) run.toPlay += slot.done ? 0 : 1;
}

// Writes the rows of the songs done, in order, and each tune's list entry
// once all its songs are written; returns the lines for standard error of
// the songs written. Called with the lock held.
std::vector<std::string> writeDone(Collection& run) {
    std::vector<std::string> messages;
    while (run.written < run.slots.size() && run.slots[run.written].done) {
        Slot& slot = run.slots[run.written];
        if (!slot.resumed && run.writeCsv) outputLine(run.csv, slot.row.data(), slot.row.size());
        if (!slot.message.empty()) messages.push_back(std::move(slot.message));
        ++run.written;
        const Tune& tune = run.tunes[slot.tune];
        const bool lastOfTune = run.written == tune.firstSlot + tune.play.size();
        if (lastOfTune && run.writeList && !tune.md5.empty()) {
            std::vector<uint64_t> lengths;
            for (size_t k = 0; k < tune.play.size(); ++k)
                lengths.push_back(listLength(run.slots[tune.firstSlot + k]));
            outputLines(run.list, songLengthsEntry(tune.where.listPath, tune.md5, lengths));
        }
    }
    return messages;
}

void playSlots(Collection& run) {
    const CollectionSettings& s = *run.settings;
    for (;;) {
        if (run.stopping.load()) return;
        const size_t index = run.next.fetch_add(1);
        if (index >= run.slots.size()) return;
        Slot& slot = run.slots[index];
        if (slot.done) continue;
        const Tune& tune = run.tunes[slot.tune];
        std::string row;
        bool failed = false;
        SongFound found = SongFound::None;
        bool exact = false;
        std::string length;
        Bytes bytes;
        std::string problem = tune.problem;
        // Read again for each song (the run keeps no tune's bytes): a file
        // that was read before may be gone now.
        if (problem.empty()) readWhole(tune.where.file, bytes, problem);
        if (!problem.empty()) {
            SongOutcome failure;
            failure.found = SongFound::Error;
            failure.error = problem;
            row = songRow(placeOf(tune, slot.song), failure);
            failed = true;
            found = SongFound::Error;
        } else {
            SongJob job{tune.where.file,
                        &bytes,
                        slot.song,
                        s.undocumented,
                        s.maxCycles,
                        s.calls,
                        "",
                        "",
                        "",
                        s.wholeRun};
            if (!s.outDir.empty()) {
                std::error_code error;
                fs::create_directories(
                    fs::u8path(studyFile(run, tune, slot.song, "x")).parent_path(), error);
                if (s.table) job.table = studyFile(run, tune, slot.song, "tab");
                if (s.roll) job.roll = studyFile(run, tune, slot.song, "svg");
                if (s.midi) job.midi = studyFile(run, tune, slot.song, "mid");
            }
            const SongOutcome outcome = playSongJob(job, run.stopping);
            if (run.stopping.load()) return;  // cut short: it does not count
            row = songRow(placeOf(tune, slot.song), outcome);
            found = outcome.found;
            exact = outcome.exact;
            if (found == SongFound::Error) problem = outcome.error;
            failed = found == SongFound::Error || !outcome.filesWritten;
            if (found != SongFound::Error)
                length = secondsText(outcome.lengthCycles, outcome.clock);
        }
        std::string message;
        if (failed && found == SongFound::Error)
            message = tune.where.file + ": song " + std::to_string(slot.song) + ": " + problem;
        std::lock_guard<std::mutex> lock(run.mutex);
        slot.message = std::move(message);
        slot.row = std::move(row);
        slot.found = found;
        slot.exact = exact;
        slot.length = length;
        slot.failed = failed;
        slot.done = true;
        ++run.donePlayed;
        run.changed.notify_one();
    }
}

// A thread of the run: plays songs while there are any, then says so.
void work(Collection& run) {
    playSlots(run);
    {
        std::lock_guard<std::mutex> lock(run.mutex);
        ++run.idle;
    }
    run.changed.notify_all();
}

// One line on a terminal, drawn again in place.
class Progress {
public:
    explicit Progress(bool shown) : shown_(shown), start_(std::chrono::steady_clock::now()) {}

    void draw(const Collection& run, bool last) {
        if (!shown_) return;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        size_t tunesDone = 0;
        for (const Tune& tune : run.tunes) {
            bool all = true;
            for (size_t k = 0; k < tune.play.size(); ++k)
                all = all && run.slots[tune.firstSlot + k].done;
            tunesDone += all ? 1 : 0;
        }
        size_t songsDone = 0;
        for (const Slot& slot : run.slots) songsDone += slot.done ? 1 : 0;
        const double rate = seconds > 0 ? static_cast<double>(run.donePlayed) / seconds : 0;
        std::string line = "voxdump: " + std::to_string(tunesDone) + " of " +
                           std::to_string(run.tunes.size()) + " tunes, " +
                           std::to_string(songsDone) + " of " + std::to_string(run.slots.size()) +
                           " songs";
        if (rate > 0) {
            const int tenths = static_cast<int>(rate * 10 + 0.5);
            line += ", " + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) +
                    " songs a second";
            const size_t left = run.slots.size() - songsDone;
            if (left > 0 && !last)
                line += ", about " +
                        minutesAndSeconds(static_cast<uint64_t>(static_cast<double>(left) / rate)) +
                        " left";
        }
        std::string out = "\r" + line;
        if (line.size() < width_) out += std::string(width_ - line.size(), ' ');
        width_ = line.size();
        if (last) out += "\n";
        std::fwrite(out.data(), 1, out.size(), stderr);
        std::fflush(stderr);
    }

    // A diagnostic on a line of its own; the progress is drawn again after it.
    void say(const std::string& text) {
        if (shown_ && width_ > 0) {
            std::string blank(width_ + 2, ' ');
            blank.front() = blank.back() = '\r';
            std::fwrite(blank.data(), 1, blank.size(), stderr);
            width_ = 0;
        }
        diagnose(text);
    }

private:
    bool shown_;
    std::chrono::steady_clock::time_point start_;
    size_t width_ = 0;
};

// An output file that would take the place of a tune or of the other output:
// the diagnostic, or empty when there is none.
std::string overwritten(const CollectionSettings& settings,
                        const std::vector<CollectionTune>& tunes) {
    std::error_code error;
    const std::string& csv = settings.csvFile;
    const std::string& list = settings.songLengthsFile;
    const auto where = [&error](const std::string& name) {
        return fs::weakly_canonical(fs::absolute(fs::u8path(name), error), error);
    };
    if (!csv.empty() && !list.empty() &&
        (where(csv) == where(list) || fs::equivalent(fs::u8path(csv), fs::u8path(list), error)))
        return csv + ": is both the table and the list; refusing to write it";
    for (const std::string* output : {&csv, &list}) {
        if (output->empty() || !fs::exists(fs::u8path(*output), error)) continue;
        for (const CollectionTune& tune : tunes) {
            if (fs::equivalent(fs::u8path(*output), fs::u8path(tune.file), error))
                return *output + ": is a tune of the collection; refusing to overwrite it";
        }
    }
    return {};
}

// What decides a song's row besides its tune: the settings a table was made
// with, which a run that resumes it must share.
std::string settingsText(const CollectionSettings& s) {
    return "calls=" + std::to_string(s.calls) + " max-cycles=" + std::to_string(s.maxCycles) +
           " undocumented=" + (s.undocumented ? "1" : "0") + " song=" + std::to_string(s.song) +
           " shard=" + std::to_string(s.shard) + "/" + std::to_string(s.shards);
}

// A stopped run: the rows of the songs that finished past the last one
// written in order go after it, so that a run that resumes need not play
// them again. Called with the lock held, the threads done.
void writeFinishedLater(Collection& run) {
    if (!run.writeCsv) return;
    for (size_t k = run.written; k < run.slots.size(); ++k) {
        const Slot& slot = run.slots[k];
        if (!slot.done || slot.resumed) continue;
        outputLine(run.csv, slot.row.data(), slot.row.size());
        ++run.writtenLater;
    }
}

// A resumed run that is complete: the table written again with every row in
// the order of a run that was never stopped (rows that the old table held
// for songs not in this run last), beside it, then in its place.
bool rewriteInOrder(const Collection& run, const TableRows& done, const std::string& settings) {
    OutputFile table;
    outputOpenWhole(table, run.settings->csvFile);
    outputBlock(table, csvRecord(kSongColumns) + settingsRow(settings));
    std::set<std::pair<std::string, int>> placed;
    for (const Slot& slot : run.slots) {
        outputLine(table, slot.row.data(), slot.row.size());
        placed.insert({run.tunes[slot.tune].where.listPath, slot.song});
    }
    for (const auto& [key, row] : done) {
        if (placed.count(key) != 0) continue;
        const std::string text = csvRecord(row);
        outputLine(table, text.data(), text.size());
    }
    return outputClose(table);
}

// The line at the end on standard error: the songs by how their length was
// found, the errors, and the time.
std::string summaryLine(const Collection& run, double seconds, bool stopped) {
    size_t found[4] = {}, exact[4] = {}, done = 0, resumed = 0;
    for (const Slot& slot : run.slots) {
        if (!slot.done) continue;
        ++done;
        resumed += slot.resumed ? 1 : 0;
        const auto k = static_cast<size_t>(slot.found);
        ++found[k];
        exact[k] += slot.exact ? 1 : 0;
    }
    const int tenths = static_cast<int>(seconds * 10 + 0.5);
    std::string line = std::to_string(done) + " of " + std::to_string(run.slots.size()) +
                       " songs (" + std::to_string(done - resumed) + " played in " +
                       std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s, " +
                       std::to_string(resumed) + " from the table): ";
    const char* names[] = {"loops", "ends", "no repeat", "errors"};
    for (size_t k = 0; k < 4; ++k) {
        line += std::string(names[k]) + " " + std::to_string(found[k]);
        if (k < 2) line += " (" + std::to_string(exact[k]) + " by the machine's repeat)";
        line += k < 3 ? ", " : "";
    }
    if (stopped) line += "; stopped, the rest are played by --resume";
    return line;
}

}  // namespace

int runCollection(const CollectionSettings& settings) {
    Collection run;
    run.settings = &settings;
    bool allFound = true;
    std::vector<CollectionTune> found = findTunes(settings.paths, allFound);
    found = shardOf(std::move(found), settings.shard, settings.shards);
    if (const std::string clash = overwritten(settings, found); !clash.empty()) {
        diagnose(clash);
        return kExitFailure;
    }
    readTunes(run, std::move(found));

    const auto started = std::chrono::steady_clock::now();
    const std::string ours = settingsText(settings);
    TableRows done;
    if (settings.resume) {
        std::string theirs;
        if (!readSongTable(settings.csvFile, done, theirs)) return kExitFailure;
        if (!theirs.empty() && theirs != ours) {
            diagnose(settings.csvFile + ": made with other settings (" + theirs +
                     ") than this run's (" + ours + "); not resumed");
            return kExitFailure;
        }
    }
    makeSlots(run, done);

    if (!settings.csvFile.empty()) {
        run.writeCsv = true;
        if (settings.resume && !done.empty()) {
            outputAppend(run.csv, settings.csvFile);
        } else {
            outputOpen(run.csv, settings.csvFile);
            const std::string head = csvRecord(kSongColumns) + settingsRow(ours);
            outputBlock(run.csv, head);
        }
    }
    if (!settings.songLengthsFile.empty()) {
        run.writeList = true;
        outputOpen(run.list, settings.songLengthsFile);
        outputLines(run.list, kSongLengthsHead);
    }

    stopHandlersInstall();

    unsigned jobs = settings.jobs;
    if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<size_t>(jobs, std::max<size_t>(1, run.toPlay)));
    Progress progress(errorConsoleIsTerminal());
    std::vector<std::thread> workers;
    for (unsigned k = 0; k < jobs; ++k) workers.emplace_back(work, std::ref(run));
    {
        std::unique_lock<std::mutex> lock(run.mutex);
        for (;;) {
            for (const std::string& message : writeDone(run)) progress.say(message);
            progress.draw(run, false);
            if (run.written == run.slots.size()) break;
            if (stopSignal() != 0) {
                run.stopping = true;
                break;
            }
            run.changed.wait_for(lock, std::chrono::milliseconds(250));
        }
    }
    {
        // The songs being played when the run was stopped end at their next call.
        std::unique_lock<std::mutex> lock(run.mutex);
        run.changed.wait(lock, [&] { return run.idle == jobs; });
    }
    for (std::thread& worker : workers) worker.join();
    {
        std::lock_guard<std::mutex> lock(run.mutex);
        // What finished while the others stopped.
        for (const std::string& message : writeDone(run)) progress.say(message);
        if (run.stopping.load()) writeFinishedLater(run);
        progress.draw(run, true);
    }
    stopHandlersUninstall();

    bool written = true;
    if (run.writeCsv) written = outputClose(run.csv) && written;
    if (run.writeCsv && !done.empty() && run.written == run.slots.size())
        written = rewriteInOrder(run, done, ours) && written;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    diagnose(summaryLine(run, seconds, run.stopping.load()));
    if (run.writeList) written = outputClose(run.list) && written;
    if (stopSignal() != 0) return 128 + stopSignal();
    const bool anyFailed = std::any_of(run.slots.begin(), run.slots.end(),
                                       [](const Slot& slot) { return slot.failed; });
    return allFound && written && !anyFailed ? kExitOk : kExitFailure;
}
