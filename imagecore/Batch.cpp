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
#include "Entries.h"
#include "Platform.h"
#include "WriteQueue.h"

namespace {

enum class Outcome { Converted, Skipped, Failed };

struct Tally {
    size_t converted = 0, skipped = 0, failed = 0;
    void add(Outcome o) {
        (o == Outcome::Converted ? converted : o == Outcome::Skipped ? skipped : failed)++;
    }
};

struct JobResult {
    Outcome outcome = Outcome::Failed;
    std::wstring report;
    tfi::ColorNote color = tfi::ColorNote::None;
    bool done = false;
};

// A converted file's line says when the colour space its PNG declares was not applied.
std::wstring colorRemark(tfi::ColorNote note) {
    return note == tfi::ColorNote::None ? L"" : L" (" + fromUtf8(tfi::colorNoteMessage(note)) + L")";
}

std::wstring progressPrefix(size_t index, size_t total) {
    return L"[" + std::to_wstring(index + 1) + L"/" + std::to_wstring(total) + L"] ";
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

// Jobs that may touch one file on disk (the same source twice, two sources with one
// destination, one job's destination another's source) form one chain, converted one after
// the other in input order: that is what a single thread would do to them. Chains come in the
// order of their first job.
std::vector<std::vector<size_t>> chainsOfSharedFiles(const std::vector<BatchJob>& jobs) {
    const size_t total = jobs.size();
    SharedFiles shared(total);
    for (size_t i = 0; i < total; ++i) {
        for (const std::wstring& key : platform::fileKeys(jobs[i].source))
            shared.read(i, key);
        if (!jobs[i].destination.empty())
            for (const std::wstring& key : platform::fileKeys(jobs[i].destination))
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

unsigned threadsFor(const BatchSettings& settings, size_t chains) {
    unsigned wanted = settings.threads ? settings.threads : std::thread::hardware_concurrency();
    wanted = std::max(1u, std::min(wanted, kMaxThreads));
    return static_cast<unsigned>(std::min<size_t>(wanted, std::max<size_t>(chains, 1)));
}

// The converting threads take chains in turn and hand each converted file to the writers;
// whoever finishes a file prints every line that is then due, so lines appear in input order
// however the work interleaves.
class ParallelBatch {
public:
    ParallelBatch(const BatchSettings& settings, const std::vector<BatchJob>& jobs)
        : settings_(settings), option_(conversionOption(settings)), jobs_(jobs), chains_(chainsOfSharedFiles(jobs)),
          threads_(threadsFor(settings, chains_.size())), results_(jobs.size()), writes_(threads_) {}

    unsigned threads() const { return threads_; }

    // Set before any file is converted; with no writer thread each converting thread writes its
    // own files.
    void useWriters(unsigned writers) { writers_ = writers; }

    void convertChains() {
        for (size_t c = nextChain_++; c < chains_.size(); c = nextChain_++) {
            const std::vector<size_t>& chain = chains_[c];
            for (size_t k = 0; k < chain.size(); ++k) {
                if (k > 0)
                    waitUntilFinished(chain[k - 1]); // it may read or replace what that one wrote
                convert(chain[k]);
            }
        }
    }

    void writeFiles() {
        writes_.serve([this](const PendingWrite& write) { replace(write); });
    }

    void closeWrites() { writes_.close(); }

    int summarise() const {
        Tally tally;
        for (const JobResult& r : results_)
            tally.add(r.outcome);
        return summariseBatch(tally.converted, tally.skipped, tally.failed);
    }

private:
    void convert(size_t i) {
        const BatchJob& job = jobs_[i];
        std::wstring& report = results_[i].report;
        if (!job.problem.empty()) {
            report = job.label + L": FAILED: " + job.problem;
            finish(i, Outcome::Failed);
            return;
        }
        PendingWrite write{i, job.destination, {}};
        report = job.label + L" -> " + write.destination + L": ";
        if (!settings_.overwrite && platform::fileExists(write.destination)) {
            report += L"skipped, destination exists (use -f to replace)";
            finish(i, Outcome::Skipped);
            return;
        }
        convertAndHandOn(write);
    }

    // Conversions side by side, and converted files waiting for the disk, share the process's
    // memory. A conversion that ran out of it is tried again alone, once every converted file
    // is written, so that the batch's result does not depend on how the files met on the
    // threads. A conversion keeps its share until its bytes are in the write queue.
    void convertAndHandOn(PendingWrite& write) {
        {
            std::shared_lock<std::shared_mutex> beside(memory_);
            const tfi::Result r = newBytes(write);
            results_[write.file].color = write.color;
            if (r != ERCI_ERR_OUT_OF_MEMORY || !sharesMemory()) {
                handOn(write, r);
                return;
            }
        }
        std::vector<uint8_t>().swap(write.bytes);
        std::unique_lock<std::shared_mutex> alone(memory_);
        writes_.waitUntilIdle();
        const tfi::Result r = newBytes(write);
        results_[write.file].color = write.color;
        handOn(write, r);
    }

    tfi::Result newBytes(PendingWrite& write) const {
        const BatchJob& job = jobs_[write.file];
        if (job.entry == BatchJob::kWholeFile)
            return platform::convertToBytes(job.source, write.destination, option_, write.bytes, write.content,
                                            write.color);
        return entryToBytes(job.source, job.entry, write.bytes);
    }

    // Whether anything but this conversion may hold memory meanwhile.
    bool sharesMemory() const { return threads_ > 1 || writers_ > 0; }

    void handOn(PendingWrite& write, tfi::Result converted) {
        if (converted != ERCI_OK)
            finishWith(write.file, converted);
        else if (writers_ > 0)
            writes_.push(std::move(write));
        else
            replace(write);
    }

    void replace(const PendingWrite& write) {
        finishWith(write.file,
                   platform::writeConverted(jobs_[write.file].source, write.destination, write.bytes, write.content));
    }

    void finishWith(size_t i, tfi::Result r) {
        results_[i].report += r == ERCI_OK ? L"converted" + colorRemark(results_[i].color)
                                           : L"FAILED: " + fromUtf8(tfi::resultMessage(r));
        finish(i, r == ERCI_OK ? Outcome::Converted : Outcome::Failed);
    }

    void finish(size_t i, Outcome outcome) {
        {
            std::lock_guard<std::mutex> hold(printLock_);
            results_[i].outcome = outcome;
            results_[i].done = true;
            for (; nextLine_ < results_.size() && results_[nextLine_].done; ++nextLine_)
                platform::writeLine(progressPrefix(nextLine_, results_.size()) + results_[nextLine_].report);
        }
        finished_.notify_all();
    }

    void waitUntilFinished(size_t i) {
        std::unique_lock<std::mutex> hold(printLock_);
        finished_.wait(hold, [&] { return results_[i].done; });
    }

    const BatchSettings& settings_;
    const std::wstring option_;
    const std::vector<BatchJob>& jobs_;
    const std::vector<std::vector<size_t>> chains_;
    const unsigned threads_;
    std::vector<JobResult> results_; // each filled by the threads handling it, read under printLock_
    std::atomic<size_t> nextChain_{0};
    std::mutex printLock_;
    std::condition_variable finished_;
    size_t nextLine_ = 0;
    std::shared_mutex memory_;
    WriteQueue writes_;
    unsigned writers_ = 0;
};

// Starts what it can; fewer threads only make the batch slower.
template <class Work>
void startThreads(std::vector<std::thread>& threads, unsigned count, Work work) {
    for (unsigned t = 0; t < count; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            return;
        }
    }
}

} // namespace

const wchar_t kMatchedNoFile[] = L"no file matches this pattern";

bool matchedNoFile(const std::wstring& file) {
    return sourceFileName(file).find_first_of(L"*?") != std::wstring::npos && !platform::fileExists(file);
}

int summariseBatch(size_t converted, size_t skipped, size_t failed) {
    platform::writeLine(std::to_wstring(converted) + L" converted, " + std::to_wstring(skipped) + L" skipped, " +
                        std::to_wstring(failed) + L" failed");
    return failed == 0 ? 0 : 1;
}

namespace {

// Each job's line in input order, whatever the threads (-j).
int runJobs(const BatchSettings& settings, const std::vector<BatchJob>& jobs) {
    ParallelBatch batch(settings, jobs);
    std::vector<std::thread> writers, converters;
    startThreads(writers, batch.threads(), [&batch] { batch.writeFiles(); });
    batch.useWriters(static_cast<unsigned>(writers.size()));
    startThreads(converters, batch.threads() - 1, [&batch] { batch.convertChains(); });
    batch.convertChains();
    for (std::thread& converter : converters)
        converter.join();
    batch.closeWrites();
    for (std::thread& writer : writers)
        writer.join();
    return batch.summarise();
}

std::vector<BatchJob> wholeFileJobs(const BatchSettings& settings) {
    std::vector<BatchJob> jobs;
    for (const std::wstring& file : settings.files) {
        if (matchedNoFile(file))
            jobs.push_back({file, L"", file, BatchJob::kWholeFile, kMatchedNoFile});
        else
            jobs.push_back({file, destinationFor(file, settings.outputFolder), file, BatchJob::kWholeFile, L""});
    }
    return jobs;
}

} // namespace

int runBatch(const BatchSettings& settings) {
    return runJobs(settings, settings.entries ? entryJobs(settings) : wholeFileJobs(settings));
}

