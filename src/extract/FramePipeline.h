#pragma once
// Runs per-frame jobs on a small pool of worker threads and hands their results back in the
// order the jobs were submitted, with at most `capacity` jobs in flight: memory stays
// bounded by a few frames however long the run is, and whatever depends on order (names,
// the path list, duplicate removal, progress) sees the frames one after another.
//
// Owned and driven by one thread (the run's): Submit, Finish and the destructor are called
// there, and so is `commit`. The jobs run on the workers (or, with no workers, inline on the
// owning thread), so they must only read state that nothing changes during the run.

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

template <typename Result>
class FramePipeline {
  public:
    using Job = std::function<Result()>;
    // Receives every result in submission order; answering false stops the run: the
    // remaining results are handed to `discard` instead.
    using Commit = std::function<bool(Result&)>;
    using Discard = std::function<void(Result&)>;

    FramePipeline(int workers, int capacity, Commit commit, Discard discard)
        : m_iCapacity(std::max(1, capacity)),
          m_fnCommit(std::move(commit)),
          m_fnDiscard(std::move(discard)) {
        for (int i = 0; i < workers; ++i) m_vWorkers.emplace_back([this] { Work(); });
    }
    ~FramePipeline() {
        Stop();
        DiscardPending();
    }
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // Queues a job, first committing the oldest results while the pipeline is full. False
    // once a commit has stopped the run (the job is then not run).
    bool Submit(Job job) {
        if (m_bStopped) return false;
        std::packaged_task<Result()> task(std::move(job));
        m_qPending.push_back(task.get_future());
        if (m_vWorkers.empty()) {
            task();
        } else {
            std::lock_guard lock(m_oMutex);
            m_qTasks.push_back(std::move(task));
        }
        m_oWake.notify_one();
        while (!m_bStopped && static_cast<int>(m_qPending.size()) >= m_iCapacity) CommitOldest();
        return !m_bStopped;
    }

    // Commits every remaining result; false when a commit stopped the run.
    bool Finish() {
        while (!m_bStopped && !m_qPending.empty()) CommitOldest();
        DiscardPending();
        return !m_bStopped;
    }

  private:
    void CommitOldest() {
        Result result = m_qPending.front().get();
        m_qPending.pop_front();
        if (!m_fnCommit(result)) {
            m_bStopped = true;
            DiscardPending();
        }
    }

    // Jobs not yet started are dropped; started ones are waited for and discarded.
    void DiscardPending() {
        {
            std::lock_guard lock(m_oMutex);
            m_qTasks.clear();  // their futures report a broken promise
        }
        for (std::future<Result>& pending : m_qPending) {
            try {
                Result result = pending.get();
                m_fnDiscard(result);
            } catch (...) {
                // a job never started (broken promise) or failed: nothing to take back
            }
        }
        m_qPending.clear();
    }

    void Stop() {
        {
            std::lock_guard lock(m_oMutex);
            m_bQuit = true;
            m_qTasks.clear();
        }
        m_oWake.notify_all();
        for (std::thread& worker : m_vWorkers) worker.join();
        m_vWorkers.clear();
    }

    void Work() {
        for (;;) {
            std::packaged_task<Result()> task;
            {
                std::unique_lock lock(m_oMutex);
                m_oWake.wait(lock, [this] { return m_bQuit || !m_qTasks.empty(); });
                if (m_qTasks.empty()) return;
                task = std::move(m_qTasks.front());
                m_qTasks.pop_front();
            }
            task();
        }
    }

    const int m_iCapacity;
    Commit m_fnCommit;
    Discard m_fnDiscard;
    bool m_bStopped = false;                     // owning thread only
    std::deque<std::future<Result>> m_qPending;  // owning thread only, oldest first
    std::mutex m_oMutex;                         // guards the two below
    std::deque<std::packaged_task<Result()>> m_qTasks;
    bool m_bQuit = false;
    std::condition_variable m_oWake;
    std::vector<std::thread> m_vWorkers;
};
