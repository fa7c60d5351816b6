#include "Batch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <numeric>
#include <shared_mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Destination.h"
#include "Platform.h"

namespace {

enum class Outcome { Converted, Skipped, Failed };

struct Tally {
    size_t converted = 0, skipped = 0, failed = 0;
    void add(Outcome o) {
        (o == Outcome::Converted ? converted : o == Outcome::Skipped ? skipped : failed)++;
    }
};

struct FileResult {
    Outcome outcome = Outcome::Failed;
    std::wstring report;
    bool done = false;
};

std::wstring widen(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

std::wstring progressPrefix(size_t index, size_t total) {
    return L"[" + std::to_wstring(index + 1) + L"/" + std::to_wstring(total) + L"] ";
}

// At most `count` conversions build their bytes at once, one per processor asked for. A thread
// that has built its file's bytes gives its place up while the disk takes them, so another
// thread converts meanwhile rather than a processor waiting on the disk.
//
// Conversions side by side share the process's memory: one that ran out while others were
// building is tried again alone, so that the batch's result does not depend on how the files
// met on the threads. With one place a conversion is always alone.
class Processors {
public:
    explicit Processors(unsigned count) : free_(count), shared_(count > 1) {}

    tfi::Result convertToBytes(const std::wstring& source, const std::wstring& destination,
                               const std::wstring& option, std::vector<uint8_t>& bytes) {
        const Place place(*this);
        {
            std::shared_lock<std::shared_mutex> beside(memory_);
            const tfi::Result r = platform::convertToBytes(source, destination, option, bytes);
            if (r != ERCI_ERR_OUT_OF_MEMORY || !shared_)
                return r;
        }
        std::vector<uint8_t>().swap(bytes);
        std::unique_lock<std::shared_mutex> alone(memory_);
        return platform::convertToBytes(source, destination, option, bytes);
    }

private:
    class Place {
    public:
        explicit Place(Processors& p) : p_(p) {
            std::unique_lock<std::mutex> hold(p_.lock_);
            p_.freed_.wait(hold, [this] { return p_.free_ > 0; });
            --p_.free_;
        }
        ~Place() {
            {
                std::lock_guard<std::mutex> hold(p_.lock_);
                ++p_.free_;
            }
            p_.freed_.notify_one();
        }
        Place(const Place&) = delete;
        Place& operator=(const Place&) = delete;

    private:
        Processors& p_;
    };

    std::mutex lock_;
    std::condition_variable freed_;
    unsigned free_;
    const bool shared_;
    std::shared_mutex memory_;
};

Outcome convertOne(const std::wstring& source, const BatchSettings& settings, Processors& processors,
                   std::wstring& report) {
    const std::wstring destination = destinationFor(source, settings.outputFolder);
    report = source + L" -> " + destination + L": ";
    if (!settings.overwrite && platform::fileExists(destination)) {
        report += L"skipped, destination exists (use -f to replace)";
        return Outcome::Skipped;
    }
    std::vector<uint8_t> bytes;
    tfi::Result r = processors.convertToBytes(source, destination, settings.option, bytes);
    if (r == ERCI_OK)
        r = platform::replaceFile(destination, bytes);
    report += r == ERCI_OK ? L"converted" : L"FAILED: " + widen(tfi::resultMessage(r));
    return r == ERCI_OK ? Outcome::Converted : Outcome::Failed;
}

// Which earlier files touched each file on disk. A file that one conversion writes and another
// reads or writes joins those conversions into one chain; files only read may be shared.
class SharedFiles {
public:
    explicit SharedFiles(size_t total) : parent_(total) { std::iota(parent_.begin(), parent_.end(), size_t(0)); }

    void read(size_t job, const std::wstring& key) {
        const auto writer = writer_.find(key);
        if (writer != writer_.end())
            join(job, writer->second);
        readers_[key].push_back(job);
    }

    void write(size_t job, const std::wstring& key) {
        const auto writer = writer_.emplace(key, job);
        if (!writer.second)
            join(job, writer.first->second);
        for (size_t reader : readers_[key])
            join(job, reader);
    }

    size_t chainOf(size_t job) {
        while (parent_[job] != job)
            job = parent_[job] = parent_[parent_[job]];
        return job;
    }

private:
    void join(size_t a, size_t b) { parent_[chainOf(a)] = chainOf(b); }

    std::vector<size_t> parent_;
    std::map<std::wstring, size_t> writer_;               // the first job to write the file
    std::map<std::wstring, std::vector<size_t>> readers_; // every job that reads it
};

// Files that may touch one file on disk (the same source twice, two sources with one
// destination, one file's destination another's source) form one chain, converted one after
// the other in input order: that is what a single thread would do to them. Chains come in the
// order of their first file.
std::vector<std::vector<size_t>> chainsOfSharedFiles(const BatchSettings& settings) {
    const size_t total = settings.files.size();
    SharedFiles shared(total);
    for (size_t i = 0; i < total; ++i) {
        for (const std::wstring& key : platform::fileKeys(settings.files[i]))
            shared.read(i, key);
        for (const std::wstring& key : platform::fileKeys(destinationFor(settings.files[i], settings.outputFolder)))
            shared.write(i, key);
    }
    std::vector<std::vector<size_t>> chains;
    std::map<size_t, size_t> chainOfRoot;
    for (size_t i = 0; i < total; ++i) {
        const auto found = chainOfRoot.emplace(shared.chainOf(i), chains.size());
        if (found.second)
            chains.emplace_back();
        chains[found.first->second].push_back(i);
    }
    return chains;
}

unsigned processorsFor(const BatchSettings& settings) {
    const unsigned wanted = settings.threads ? settings.threads : std::thread::hardware_concurrency();
    return std::max(1u, std::min(wanted, kMaxThreads));
}

// Two threads for each processor: while one waits for the disk, the other converts.
constexpr unsigned kThreadsPerProcessor = 2;

unsigned threadsFor(unsigned processors, size_t chains) {
    return static_cast<unsigned>(std::min<size_t>(processors * kThreadsPerProcessor, std::max<size_t>(chains, 1)));
}

// The threads take chains in turn; whichever finishes a file prints every line that is then
// due, so lines appear in input order however the work interleaves.
class ParallelBatch {
public:
    explicit ParallelBatch(const BatchSettings& settings)
        : settings_(settings), chains_(chainsOfSharedFiles(settings)), places_(processorsFor(settings)),
          threads_(threadsFor(places_, chains_.size())), results_(settings.files.size()), processors_(places_) {}

    unsigned threads() const { return threads_; }

    void work() {
        for (size_t c = nextChain_++; c < chains_.size(); c = nextChain_++)
            for (size_t i : chains_[c])
                finish(i, convertOne(settings_.files[i], settings_, processors_, results_[i].report));
    }

    int summarise() const {
        Tally tally;
        for (const FileResult& r : results_)
            tally.add(r.outcome);
        platform::writeLine(std::to_wstring(tally.converted) + L" converted, " + std::to_wstring(tally.skipped) +
                            L" skipped, " + std::to_wstring(tally.failed) + L" failed");
        return tally.failed == 0 ? 0 : 1;
    }

private:
    void finish(size_t i, Outcome outcome) {
        std::lock_guard<std::mutex> hold(printLock_);
        results_[i].outcome = outcome;
        results_[i].done = true;
        for (; nextLine_ < results_.size() && results_[nextLine_].done; ++nextLine_)
            platform::writeLine(progressPrefix(nextLine_, results_.size()) + results_[nextLine_].report);
    }

    const BatchSettings& settings_;
    const std::vector<std::vector<size_t>> chains_;
    const unsigned places_;
    const unsigned threads_;
    std::vector<FileResult> results_; // each written by the thread converting it, read under printLock_
    std::atomic<size_t> nextChain_{0};
    std::mutex printLock_;
    size_t nextLine_ = 0;
    Processors processors_;
};

} // namespace

int runBatch(const BatchSettings& settings) {
    ParallelBatch batch(settings);
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < batch.threads(); ++t) {
        try {
            helpers.emplace_back(&ParallelBatch::work, &batch);
        } catch (const std::system_error&) {
            break; // fewer threads only make the batch slower
        }
    }
    batch.work();
    for (std::thread& helper : helpers)
        helper.join();
    return batch.summarise();
}
