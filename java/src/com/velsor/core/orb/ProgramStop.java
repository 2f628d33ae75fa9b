package com.velsor.core.orb;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

/**
 * How {@link MainClassService} stops its program: the static method that
 * "pravik.stop" names as class.method, or without it System.exit(0), which
 * runs the program's shutdown hooks. Words after the property's first blank
 * ("org.example.Launcher.main stop") are split as commandLineParms is split
 * and passed as the method's one String[]; without words the method takes no
 * parameters, or else one String[], which gets an empty array.
 */
final class ProgramStop {
    private final Method method;
    private final String[] words;

    private ProgramStop(Method method, String[] words) {
        this.method = method;
        this.words = words;
    }

    /** The stop of the property's value (null: System.exit); ReflectiveOperationException when the method is missing. */
    static ProgramStop of(String value, ClassLoader loader) throws ReflectiveOperationException {
        if (value == null) {
            return new ProgramStop(null, null);
        }
        final int blank = value.indexOf(' ');
        if (blank < 0) {
            return new ProgramStop(find(value, loader, false), new String[0]);
        }
        return new ProgramStop(find(value.substring(0, blank), loader, true),
                CommandLineSplit.split(value.substring(blank + 1)));
    }

    /** The static method named class.method: with one String[] when words are given, else preferably without parameters. */
    private static Method find(String qualifiedMethod, ClassLoader loader, boolean withWords)
            throws ReflectiveOperationException {
        final int dot = qualifiedMethod.lastIndexOf('.');
        if (dot <= 0 || dot == qualifiedMethod.length() - 1) {
            throw new IllegalArgumentException("pravik.stop " + qualifiedMethod + " is no class.method");
        }
        final Class<?> type = Class.forName(qualifiedMethod.substring(0, dot), false, loader);
        final String name = qualifiedMethod.substring(dot + 1);
        Method method;
        try {
            method = withWords ? type.getDeclaredMethod(name, String[].class) : type.getDeclaredMethod(name);
        } catch (NoSuchMethodException noSuchOne) {
            if (withWords) {
                throw new NoSuchMethodException(qualifiedMethod + "(String[]) is not found: the words of pravik.stop "
                        + "need a method with one String[]");
            }
            method = type.getDeclaredMethod(name, String[].class);
        }
        if (!Modifier.isStatic(method.getModifiers())) {
            throw new NoSuchMethodException(qualifiedMethod + " is not static");
        }
        method.setAccessible(true);
        return method;
    }

    /** Stops the program; the stop method's own exception comes out as it is. */
    void run() throws Throwable {
        if (method == null) {
            System.exit(0);
            return;
        }
        try {
            if (method.getParameterTypes().length == 0) {
                method.invoke(null);
            } else {
                method.invoke(null, (Object) words);
            }
        } catch (InvocationTargetException e) {
            throw e.getCause();
        }
    }
}
