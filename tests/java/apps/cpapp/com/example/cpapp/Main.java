package com.example.cpapp;

import com.example.testapp.Actions;

public final class Main {
    public static void main(String[] args) throws Exception {
        Actions.run(args);
    }
}
