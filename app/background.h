// Runs a function on a thread of Qt's global pool and hands its result back
// as a QFuture, for a QFutureWatcher on the event loop: what
// QtConcurrent::run does, without Qt's Concurrent module, which not every Qt
// build has (the MinGW Qt of the Windows program leaves it out).
//
// Contract: the function runs once, on another thread; it must not touch
// widgets. The future is finished when the function has returned.
#pragma once

#include <QFuture>
#include <QFutureInterface>
#include <QThreadPool>

#include <type_traits>

template <typename Function>
QFuture<std::invoke_result_t<Function>> runInBackground(Function function)
{
    using Result = std::invoke_result_t<Function>;
    QFutureInterface<Result> promise;
    promise.reportStarted();
    QFuture<Result> future = promise.future();
    QThreadPool::globalInstance()->start([promise, function]() mutable {
        promise.reportResult(function());
        promise.reportFinished();
    });
    return future;
}
