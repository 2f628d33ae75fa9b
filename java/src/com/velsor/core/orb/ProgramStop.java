package com.velsor.core.orb;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

/**
 * How {@link MainClassService} stops its program: the static method that
 * "pravik.stop" names as class.method (no parameters, or one String[]), or
 * without it System.exit(0), which runs the program's shutdown hooks.
 */
final class ProgramStop {
    private final Method method;

    private ProgramStop(Method method) {
        this.method = method;
    }

    /** The stop of the property's value (null: System.exit); ReflectiveOperationException when the method is missing. */
    static ProgramStop of(String qualifiedMethod, ClassLoader loader) throws ReflectiveOperationException {
        return new ProgramStop(qualifiedMethod == null ? null : find(qualifiedMethod, loader));
    }

    /** The static method named class.method, without parameters or else with one String[]. */
    static Method find(String qualifiedMethod, ClassLoader loader) throws ReflectiveOperationException {
        final int dot = qualifiedMethod.lastIndexOf('.');
        if (dot <= 0 || dot == qualifiedMethod.length() - 1) {
            throw new IllegalArgumentException("pravik.stop " + qualifiedMethod + " is no class.method");
        }
        final Class<?> type = Class.forName(qualifiedMethod.substring(0, dot), false, loader);
        final String name = qualifiedMethod.substring(dot + 1);
        Method method;
        try {
            method = type.getDeclaredMethod(name);
        } catch (NoSuchMethodException noPlainOne) {
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
                method.invoke(null, (Object) new String[0]);
            }
        } catch (InvocationTargetException e) {
            throw e.getCause();
        }
    }
}
