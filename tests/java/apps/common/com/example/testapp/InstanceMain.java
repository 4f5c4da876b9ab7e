package com.example.testapp;

/** A main class whose main method is not static. */
public final class InstanceMain {
    public void main(String[] args) {
    }
}
