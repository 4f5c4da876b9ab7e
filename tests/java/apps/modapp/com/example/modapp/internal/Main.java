package com.example.modapp.internal;

import com.example.testapp.Actions;

/** In a package the module does not export: the runtime reaches it only through --add-opens. */
public final class Main {
    public static void main(String[] args) throws Exception {
        Actions.run(args);
    }
}
