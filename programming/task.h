#pragma once

// A sequence of the device logic that waits without holding the event loop:
// a coroutine, suspended where it waits and resumed when its moment has come.
// A task that another awaits runs when awaited and resumes its awaiter at its
// end; one that nobody awaits is start()ed by its owner, who is told when it
// has ended. So several displays' sequences run at once in one event loop,
// each between its waits, on one thread.

#include <coroutine>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

template <typename T> class [[nodiscard]] Task
{
public:
    struct promise_type;
    using Handle = std::coroutine_handle<promise_type>;

    struct promise_type
    {
        std::optional<T> value;
        std::coroutine_handle<> awaiter; // resumed at the end, when one awaits
        std::function<void()> ended;     // called at the end, when none does

        Task get_return_object() { return Task(Handle::from_promise(*this)); }
        std::suspend_always initial_suspend() noexcept { return {}; }
        auto final_suspend() noexcept
        {
            struct Finish
            {
                bool await_ready() noexcept { return false; }
                std::coroutine_handle<> await_suspend(Handle done) noexcept
                {
                    promise_type &promise = done.promise();
                    if (promise.awaiter)
                        return promise.awaiter;
                    // The owner may let go of the task in it: nothing of it is
                    // touched afterwards.
                    if (std::function<void()> ended = std::move(promise.ended))
                        ended();
                    return std::noop_coroutine();
                }
                void await_resume() noexcept {}
            };
            return Finish{};
        }
        void return_value(T result) { value = std::move(result); }
        void unhandled_exception() noexcept { std::terminate(); }
    };

    Task(Task &&other) noexcept : m_handle(std::exchange(other.m_handle, {})) {}
    Task &operator=(Task &&other) noexcept
    {
        if (this != &other) {
            if (m_handle)
                m_handle.destroy();
            m_handle = std::exchange(other.m_handle, {});
        }
        return *this;
    }
    ~Task()
    {
        if (m_handle)
            m_handle.destroy();
    }

    // co_await task: runs it; its result once it has ended.
    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiter) noexcept
    {
        m_handle.promise().awaiter = awaiter;
        return m_handle;
    }
    T await_resume() { return std::move(*m_handle.promise().value); }

    // Runs a task that nobody awaits up to its first wait; ended is called
    // when it has ended, maybe before this returns.
    void start(std::function<void()> ended = {})
    {
        m_handle.promise().ended = std::move(ended);
        m_handle.resume();
    }
    bool done() const { return m_handle.done(); }
    T result() { return std::move(*m_handle.promise().value); }

private:
    explicit Task(Handle handle) : m_handle(handle) {}

    Handle m_handle;
};
