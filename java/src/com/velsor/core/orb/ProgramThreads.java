package com.velsor.core.orb;

/**
 * The threads of a program that {@link MainClassService} runs: its main
 * thread and every thread started from them fall into one thread group, so
 * that pravik's own threads (the service thread, the control threads) never
 * count as the program's.
 */
final class ProgramThreads {
    final ThreadGroup group;

    ProgramThreads(String name) {
        group = new ThreadGroup(name);
    }

    /** A non-daemon thread of the program that is still alive, or null when none is left. */
    Thread anyNonDaemon() {
        Thread[] threads = new Thread[group.activeCount() + 8];
        int count = group.enumerate(threads, true);
        // enumerate drops what does not fit: grow until every thread had room.
        while (count == threads.length) {
            threads = new Thread[threads.length * 2];
            count = group.enumerate(threads, true);
        }
        for (int i = 0; i < count; i++) {
            if (threads[i].isAlive() && !threads[i].isDaemon()) {
                return threads[i];
            }
        }
        return null;
    }

    /** Starts a non-daemon thread of the program. */
    Thread start(String name, Runnable body) {
        final Thread thread = new Thread(group, body, name);
        thread.setDaemon(false);
        thread.setContextClassLoader(ClassLoader.getSystemClassLoader());
        thread.start();
        return thread;
    }
}
