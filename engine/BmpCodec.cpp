// placeholder: replaced by the codec / pixel-format work
