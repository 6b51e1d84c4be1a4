// placeholder, replaced by the device builder
