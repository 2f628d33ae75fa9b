package com.velsor.core.orb;

import java.util.ArrayList;
import java.util.List;

/**
 * Splits text into words as pravik splits commandLineParms for serviceMain:
 * a backslash makes the next character literal, double quotes group blanks
 * into one word and are dropped, and every blank outside quotes ends exactly
 * one word (two blanks give an empty word; empty text is one empty word).
 */
final class CommandLineSplit {
    private CommandLineSplit() {
    }

    static String[] split(String text) {
        final List<String> words = new ArrayList<>();
        final StringBuilder word = new StringBuilder();
        boolean escaped = false;
        boolean quoted = false;
        for (int at = 0; at < text.length(); at++) {
            final char character = text.charAt(at);
            if (escaped) {
                word.append(character);
                escaped = false;
            } else if (character == '"') {
                quoted = !quoted;
            } else if (character == '\\') {
                escaped = true;
            } else if (character == ' ' && !quoted) {
                words.add(word.toString());
                word.setLength(0);
            } else {
                word.append(character);
            }
        }
        words.add(word.toString());
        return words.toArray(new String[0]);
    }
}
