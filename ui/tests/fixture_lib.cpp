// A small library: tests copy it and add resources to the copies.
extern "C" int kv_ui_fixture_value() {
    return 18;
}
