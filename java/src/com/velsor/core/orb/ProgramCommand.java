package com.velsor.core.orb;

import java.io.File;
import java.io.IOException;
import java.util.Arrays;
import java.util.jar.Attributes;
import java.util.jar.JarFile;
import java.util.jar.Manifest;

/**
 * The program that {@link MainClassService} runs, as its commandLineParms
 * give it: a main class and its arguments, or "-jar", a jar file whose
 * manifest names the main class, and the arguments.
 */
final class ProgramCommand {
    final String mainClass;
    final String[] arguments;

    private ProgramCommand(String mainClass, String[] arguments) {
        this.mainClass = mainClass;
        this.arguments = arguments;
    }

    /** The command of the words; IllegalArgumentException when they name no main class. */
    static ProgramCommand parse(String[] words) throws IOException {
        if (words.length == 0 || words[0].isEmpty()) {
            throw new IllegalArgumentException("commandLineParms names no main class and no -jar file");
        }
        if (!"-jar".equals(words[0])) {
            return new ProgramCommand(words[0], Arrays.copyOfRange(words, 1, words.length));
        }
        if (words.length < 2 || words[1].isEmpty()) {
            throw new IllegalArgumentException("-jar needs a jar file");
        }
        return new ProgramCommand(manifestMainClass(new File(words[1])), Arrays.copyOfRange(words, 2, words.length));
    }

    /** The Main-Class of the jar's manifest. */
    static String manifestMainClass(File jar) throws IOException {
        try (JarFile file = new JarFile(jar)) {
            final Manifest manifest = file.getManifest();
            final String name = manifest == null ? null : manifest.getMainAttributes().getValue(Attributes.Name.MAIN_CLASS);
            if (name == null || name.trim().isEmpty()) {
                throw new IllegalArgumentException(jar + " has no Main-Class in its manifest");
            }
            return name.trim();
        }
    }
}
