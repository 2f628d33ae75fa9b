package com.velsor.test;

import com.velsor.core.orb.PravikService;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;

/**
 * A service on the base class without a line of state code: start waits until
 * the file named by its first argument exists; start and stop write a line to
 * the file of its second argument. With "-hangInStop" as its third, stop never
 * returns.
 */
public final class GatedService extends PravikService {
    private String recordFile;
    private boolean hangInStop;

    private void record(String line) throws IOException {
        try (OutputStream out = new FileOutputStream(recordFile, true)) {
            out.write((line + "\n").getBytes(StandardCharsets.UTF_8));
        }
    }

    @Override
    protected void start(String[] args) throws IOException, InterruptedException {
        recordFile = args[1];
        hangInStop = args.length > 2 && "-hangInStop".equals(args[2]);
        final File gate = new File(args[0]);
        // The test opens the gate after it has seen the start pending; the test ends the service in any case.
        while (!gate.exists()) {
            Thread.sleep(50);
        }
        record("started");
    }

    @Override
    protected void stop() throws IOException, InterruptedException {
        record("stopped");
        while (hangInStop) {
            Thread.sleep(60000);
        }
    }
}
