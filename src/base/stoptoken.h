#pragma once

#include <atomic>
#include <memory>

// A cancellation flag shared between the thread that asks a tool run to stop and the worker that
// runs it. std::stop_token would do, but Apple's libc++ does not ship it.
class StopToken
{
public:
    // A token that is never stopped.
    StopToken() = default;

    bool stopRequested() const noexcept { return m_state && m_state->load(std::memory_order_acquire); }

private:
    friend class StopSource;
    explicit StopToken(std::shared_ptr<const std::atomic<bool>> state) : m_state(std::move(state)) {}

    std::shared_ptr<const std::atomic<bool>> m_state;
};

class StopSource
{
public:
    StopSource() : m_state(std::make_shared<std::atomic<bool>>(false)) {}

    void requestStop() noexcept { m_state->store(true, std::memory_order_release); }
    bool stopRequested() const noexcept { return m_state->load(std::memory_order_acquire); }
    // Tokens keep the flag alive, so a worker may outlive its source.
    StopToken token() const { return StopToken(m_state); }

private:
    std::shared_ptr<std::atomic<bool>> m_state;
};
