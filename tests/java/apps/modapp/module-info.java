// Exports nothing, so calling the main class needs the launcher's --add-opens.
module com.example.modapp {
}
