package com.example.testapp;

/** A main class without a main method. */
public final class NoMain {
    public static void start(String[] args) {
    }
}
