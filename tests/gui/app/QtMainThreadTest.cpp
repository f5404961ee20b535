// The hand-over from worker threads into the Qt event loop: order, nested loops, and what
// happens to tasks that are still waiting when the executor goes.
#include "QtMainThread.h"
#include "MainThread.h"

#include <QEventLoop>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class QtMainThreadTest : public QObject {
    Q_OBJECT

private slots:
    // Each worker's tasks arrive in its posting order, every one exactly once, on the main
    // thread, and what a worker wrote before posting is seen by the task.
    void tasksFromWorkersRunOnTheMainThreadInOrder() {
        QtMainThread executor;
        constexpr int Workers = 4;
        constexpr int Tasks = 500;
        std::vector<std::vector<int>> seen(Workers);
        bool allOnMain = true;
        std::vector<std::thread> threads;
        for (int w = 0; w < Workers; ++w)
            threads.emplace_back([w, &seen, &allOnMain] {
                for (int i = 0; i < Tasks; ++i) {
                    auto text = std::make_shared<std::string>(std::to_string(i)); // written here, read there
                    MainThread::post([w, text, &seen, &allOnMain] {
                        allOnMain = allOnMain && MainThread::isMainThread();
                        seen[w].push_back(std::stoi(*text));
                    });
                }
            });
        for (auto& t : threads)
            t.join();
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const auto& s : seen)
                    if (s.size() < Tasks)
                        return false;
                return true;
            }(),
            10000);
        QVERIFY(allOnMain);
        for (const auto& s : seen) {
            QCOMPARE(s.size(), std::size_t(Tasks));
            for (int i = 0; i < Tasks; ++i)
                QCOMPARE(s[i], i);
        }
    }

    // A task that opens a modal loop (as a message box does) lets the tasks behind it run
    // inside that loop, as the program's event handlers expect.
    void laterTasksRunInsideANestedLoop() {
        QtMainThread executor;
        std::vector<std::string> order;
        MainThread::post([&] {
            order.push_back("box opens");
            QEventLoop box;
            MainThread::post([&] {
                order.push_back("inside the box");
                box.quit();
            });
            QTimer::singleShot(5000, &box, &QEventLoop::quit); // a deadline, not the expected way out
            box.exec();
            order.push_back("box closed");
        });
        MainThread::post([&] { order.push_back("second"); });
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t(4), 10000);
        QCOMPARE(order, (std::vector<std::string>{"box opens", "second", "inside the box", "box closed"}));
    }

    // A delayed task, from the main thread or a worker, runs once its delay has passed, also
    // while a modal loop is open (a message box must not hold up the retry of the protocol file).
    void delayedTasksRunAfterTheirDelayInsideANestedLoop() {
        QtMainThread executor;
        using namespace std::chrono;
        const auto start = steady_clock::now();
        std::vector<std::pair<std::string, milliseconds>> ran;
        const auto record = [&](const char* name) {
            ran.emplace_back(name, duration_cast<milliseconds>(steady_clock::now() - start));
        };
        MainThread::post([&] {
            QEventLoop box;
            MainThread::postDelayed(milliseconds(80), [&] { record("main"); });
            std::thread worker([&] { MainThread::postDelayed(milliseconds(40), [&] { record("worker"); }); });
            worker.join();
            QTimer::singleShot(150, &box, &QEventLoop::quit);
            box.exec();
            record("box closed");
        });
        QTRY_COMPARE_WITH_TIMEOUT(ran.size(), std::size_t(3), 10000);
        QCOMPARE(ran[0].first, std::string("worker"));
        QCOMPARE(ran[1].first, std::string("main"));
        QCOMPARE(ran[2].first, std::string("box closed"));
        QVERIFY(ran[0].second >= milliseconds(40));
        QVERIFY(ran[1].second >= milliseconds(80));
    }

    // Tasks that were posted but not yet run when the executor is removed are dropped: they
    // may refer to things that are gone with it.
    void tasksLeftWhenTheExecutorGoesAreDropped() {
        bool ran = false;
        {
            QtMainThread executor;
            MainThread::post([&] { ran = true; });
        }
        MainThread::post([&] { ran = true; }); // no executor: dropped at once
        QCoreApplication::processEvents();
        QTest::qWait(50);
        QVERIFY(!ran);
    }
};

QTEST_MAIN(QtMainThreadTest)
#include "QtMainThreadTest.moc"
