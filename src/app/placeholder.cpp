int mdbcheck_app_placeholder = 0;
