package com.velsor.test;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;

/**
 * The file of UTF-8 lines in which a test service tells its test what reached it.
 * serviceMain names it while controls may already come in on other threads: the
 * path and each whole line are written under this object's lock.
 */
final class RecordFile {
    private String path;

    synchronized void open(String file) {
        path = file;
    }

    /** Appends the line and a line end; nothing before a file is named. */
    synchronized void append(String line) {
        if (path == null) {
            return;
        }
        try (Writer out = new OutputStreamWriter(new FileOutputStream(path, true), StandardCharsets.UTF_8)) {
            out.write(line + "\n");
        } catch (IOException e) {
            throw new IllegalStateException("cannot record to " + path, e);
        }
    }
}
